// delvora-cli: the command-line front end over the core.
#include "cli/cli.h"

int main(int argc, char** argv) { return delvora::cli::Run(argc, argv); }
