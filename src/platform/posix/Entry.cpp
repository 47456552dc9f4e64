// The native engine: the same logic over the POSIX platform layer.
#include "PhotoShopMain.h"
#include "platform/posix/PosixAutomation.h"
#include "platform/posix/PosixPlatform.h"

int main(int argc, char** argv) {
  engine::PosixConsole console;
  engine::PosixFileSystem fileSystem;
  engine::PosixMessageBox messageBox;
  engine::PosixProcesses processes(argc, argv);
  engine::PosixAutomation automation;
  engine::PosixCodePage codePage;
  engine::Engine engine(
      engine::Platform{console, fileSystem, messageBox, processes, automation, codePage});
  engine::Main(engine);
  // The engine chooses no exit code of its own.
  return 0;
}
