#pragma once

#include <functional>
#include <string>

#include "serial/port_probe.h"
#include "ui/dialog.h"

// "Open Communication Port": lists the ports that can be opened, opens the chosen one at the
// fixed line settings, and at start-up runs the main dialog from its OK.
class CPortDlg : public CDialog {
    Q_OBJECT
public:
    explicit CPortDlg(QWidget* parent = nullptr);

    int m_baudIndex = 9;    // radio group 1146: 0 "1200" .. 9 "115200"
    int m_parityIndex = 0;  // radio group 1156: 0 NONE, 1 ODD, 2 EVEN
    int m_portIndex = -1;   // list 1008

    std::string BuildSettingsString();

    // The probe the dialog runs at initialisation, given the dialog's configuration (the extra
    // ports and the held port); tests and --dev-dir point it away from the real /dev.
    using ProbeFunction = std::function<serial::ProbeResult(serial::ProbeConfig)>;
    static ProbeFunction SetProbeFunction(ProbeFunction probe);

    // Where ports are looked for, set once at start-up: the extra ports (--port, the simulated
    // transducer's) listed first, and the device folder (--dev-dir). The main dialog finds a
    // port that came back with the same search.
    static void SetPortSearch(serial::ProbeConfig search);
    static const serial::ProbeConfig& PortSearch();

    // The sentence list shown for ports that exist but may not be opened; empty when none.
    static std::string DeniedNotice(const std::vector<serial::DeniedPort>& denied);

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    bool OnCommand(int id) override;
    void OnOK() override;
    void OnCancel() override;

    void OnOpenPort();
    void OnReset();
    void OnExit();

private:
    std::string ListText() const;
};
