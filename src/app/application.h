#pragma once
// The workstation's start and end: command line, desktop registration,
// splash, main frame, scratch folder.
namespace delvora {

/// Runs the workstation; answers the process exit code.
int RunWorkstation(int argc, char** argv);

}  // namespace delvora
