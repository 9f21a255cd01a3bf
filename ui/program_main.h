#pragma once

#include <functional>

class QCommandLineParser;

namespace ui {

// What another build of the program adds to the start-up: options of its own, declared before
// the command line is read, and a step that runs once the message boxes are in place, just before
// the introduction dialog opens.
struct StartUpExtras {
    std::function<void(QCommandLineParser&)> addOptions;
    std::function<void(const QCommandLineParser&)> beforeIntroduction;
};

// zel-demo from the command line to the exit code: options, the simulated transducer, the port
// probing, then the introduction dialog and everything nested in it.
int RunProgram(int argc, char* argv[], const StartUpExtras& extras = {});

}  // namespace ui
