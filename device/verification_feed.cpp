#include "device/verification_feed.h"

#include "res/build_info.h"

namespace device {

VerificationFeed::VerificationFeed(MeasurementSession& session, VerificationWorker& worker)
    : m_session(session), m_worker(worker) {
    m_session.AddListener(this);
}

VerificationFeed::~VerificationFeed() {
    m_session.RemoveListener(this);
}

void VerificationFeed::OnReadings(const std::vector<TimedReading>& readings) {
    m_worker.Push(readings);
}

void VerificationFeed::OnRunResumed(const ResumeCheck&) {
    // The readings before the gap and after it are not one settled stretch.
    m_worker.ReadingsGap();
}

void VerificationFeed::OnRunEnded(const RunEnd&) {
    m_worker.Stop("the run was stopped");
}

void VerificationFeed::OnRunAbandoned() {
    m_worker.Stop("the port went away");
}

VerificationReport ReportOf(const VerificationResult& result, const MeasurementSession& session,
                            const ReportedPort& port) {
    VerificationReport report;
    report.port = port.name;
    if (port.identity.IsUsb()) {
        report.adapter = serial::DescribeAdapter(port.identity) + ", USB " +
                         port.identity.vendorId + ":" + port.identity.productId;
    }
    report.result = result;
    report.transducer = IdentityOf(session.Eeprom().image);
    report.version = res::kVersion;
    report.ledger = session.Ledger();
    return report;
}

}  // namespace device
