#include "ui/program_main.h"

int main(int argc, char* argv[]) {
    return ui::RunProgram(argc, argv);
}
