#include "app/command.h"
namespace app {
int RunCommand(const GlobalOptions&, const std::vector<std::string>&) { return 0; }
}  // namespace app
