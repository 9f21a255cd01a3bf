#pragma once

#include <vector>

#include "device/measurement_session.h"
#include "device/verification_report.h"
#include "device/verification_worker.h"
#include "serial/port_identity.h"

// The one place a verification run meets a measurement session: the session's readings go to
// the worker, and the session's EEPROM image and ledger go into the report. The run's course
// reaches the worker too, whichever front end drives the session: a run that resumes after the
// port was away settles its point again, and one that ends or is abandoned ends the
// verification incomplete.
namespace device {

class VerificationFeed : public SessionEvents {
public:
    // UI thread, between runs: listens to `session` until destroyed.
    VerificationFeed(MeasurementSession& session, VerificationWorker& worker);
    VerificationFeed(const VerificationFeed&) = delete;
    VerificationFeed& operator=(const VerificationFeed&) = delete;
    ~VerificationFeed() override;

    void OnReadings(const std::vector<TimedReading>& readings) override;  // tick thread
    void OnRunResumed(const ResumeCheck& check) override;
    void OnRunEnded(const RunEnd& end) override;
    void OnRunAbandoned() override;

private:
    MeasurementSession& m_session;
    VerificationWorker& m_worker;
};

// The port a run was on, as its report names it: the device and, for a USB adapter, the
// adapter's identity read when the port was opened.
struct ReportedPort {
    std::string name;
    serial::PortIdentity identity;
};

// The report of `result` with the session's transducer and ledger and the port it was on.
VerificationReport ReportOf(const VerificationResult& result, const MeasurementSession& session,
                            const ReportedPort& port = {});

}  // namespace device
