#pragma once
// The application object: reads the command line, creates the main dialog and runs
// it; the process ends with it.

#include <QApplication>

#include <optional>

#include "app/main_dialog.hpp"

namespace edbx::gui {

/// The command line: `edbexport-gui [DB [--work DIR] [--folder PATH [--item KEY]]
/// [--screenshot FILE.png] [--quit]]`. nullopt with `error` set on a usage error.
std::optional<StartOptions> ParseStartOptions(const QStringList& arguments, QString& error);

class CEDBExportApp : public QApplication {
  Q_OBJECT
 public:
  CEDBExportApp(int& argc, char** argv);
  /// Runs the program; returns the exit status.
  int Run();
};

}  // namespace edbx::gui
