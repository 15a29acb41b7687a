// edbexport-gui: the desktop program.

#include "app/edbexport_app.hpp"

int main(int argc, char** argv) {
  edbx::gui::CEDBExportApp app(argc, argv);
  return app.Run();
}
