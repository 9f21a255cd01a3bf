#pragma once

#include <string>

// Where a verification run gets the true pressure from: a pressure controller it drives, or the
// user, who sets the pressure and types the reference's reading.
namespace device {

class VerificationReference {
public:
    virtual ~VerificationReference() = default;

    // "manual", or what the controller answered to *IDN?.
    virtual std::string Identity() const = 0;
    // True: the run asks the user at each point (VerificationEvents::OnManualPrompt) and takes
    // the typed value as the reference; SetPoint, Stable and Read are not called.
    virtual bool IsManual() const { return false; }

    // Each false sets `error` to what went wrong ("the controller did not answer MEAS:PRES?").
    virtual bool SetPoint(double psi, std::string* error) = 0;
    // The controller's own word on whether it holds the set point; one without such a
    // command sets `stable` true.
    virtual bool Stable(bool* stable, std::string* error) = 0;
    virtual bool Read(double* psi, std::string* error) = 0;
};

// The user as the reference.
class ManualReference : public VerificationReference {
public:
    std::string Identity() const override { return "manual"; }
    bool IsManual() const override { return true; }
    bool SetPoint(double, std::string*) override { return true; }
    bool Stable(bool* stable, std::string*) override {
        *stable = true;
        return true;
    }
    bool Read(double*, std::string* error) override {
        *error = "a manual reference is typed, not read";
        return false;
    }
};

}  // namespace device
