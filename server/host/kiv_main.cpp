// kiv: the Prime server. Started by activation (with -Embedding) or by hand with a
// registration switch; see CkivModule.
#include "server/host/command_line.h"
#include "server/host/kiv_module.h"

int main(int argc, char** argv) {
    return ExitStatusOf(Module().Run(JoinCommandLine(argc, argv)));
}
