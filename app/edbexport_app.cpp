#include "app/edbexport_app.hpp"

#include <QScreen>
#include <QTimer>

#include <cstdio>

#include "app/artwork.hpp"
#include "app/gui_texts.hpp"

namespace edbx::gui {

namespace {
constexpr char kUsage[] =
    "usage: edbexport-gui [DB [--work DIR] [--folder PATH [--item KEY]] [--screenshot FILE.png] [--quit]]\n";
}

std::optional<StartOptions> ParseStartOptions(const QStringList& arguments, QString& error) {
  StartOptions o;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    auto value = [&](QString& out) {
      if (i + 1 >= arguments.size()) {
        error = a + QStringLiteral(" needs a value");
        return false;
      }
      out = arguments[++i];
      return true;
    };
    QString v;
    if (a == QLatin1String("--work")) {
      if (!value(v)) return std::nullopt;
      o.work = v.toStdString();
    } else if (a == QLatin1String("--folder")) {
      if (!value(o.folder)) return std::nullopt;
    } else if (a == QLatin1String("--item")) {
      if (!value(o.item)) return std::nullopt;
    } else if (a == QLatin1String("--screenshot")) {
      if (!value(o.screenshot)) return std::nullopt;
    } else if (a == QLatin1String("--quit")) {
      o.quit = true;
    } else if (a.startsWith(QLatin1Char('-'))) {
      error = QStringLiteral("unknown option ") + a;
      return std::nullopt;
    } else if (o.database.empty()) {
      o.database = a.toStdString();
    } else {
      error = QStringLiteral("more than one database given");
      return std::nullopt;
    }
  }
  const bool scripted = !o.work.empty() || !o.folder.isEmpty() || !o.screenshot.isEmpty() || o.quit;
  if (o.database.empty() && scripted) {
    error = QStringLiteral("the options need a database");
    return std::nullopt;
  }
  if (!o.item.isEmpty() && o.folder.isEmpty()) {
    error = QStringLiteral("--item needs --folder");
    return std::nullopt;
  }
  return o;
}

CEDBExportApp::CEDBExportApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("edbexport-gui"));
  setApplicationDisplayName(QString::fromLatin1(texts::kProductName));
  setApplicationVersion(QString::fromLatin1(texts::kVersion));
  setWindowIcon(AppIcon());
  setDesktopFileName(QStringLiteral("edbexport-gui"));
}

int CEDBExportApp::Run() {
  QString error;
  const auto options = ParseStartOptions(arguments(), error);
  if (!options) {
    std::fprintf(stderr, "edbexport-gui: %s\n%s", error.toUtf8().constData(), kUsage);
    return 2;
  }
  CEDBExportDlg dlg(*options);
  const bool scripted = options->quit || !options->screenshot.isEmpty();
  if (scripted) {
    // Nobody is there to answer: message boxes go to stderr and get their default answer.
    dlg.SetMessageBoxHook([](const QString& text, const QString& caption, unsigned) {
      std::fprintf(stderr, "[%s] %s\n", caption.trimmed().toUtf8().constData(), text.trimmed().toUtf8().constData());
      return kAnswerOk;
    });
    dlg.SetTerminate([] { QApplication::exit(0); });
  }
  int status = 0;
  QObject::connect(&dlg, &CEDBExportDlg::ScriptDone, &dlg, [&](int s) {
    status = s;
    if (options->quit || s == 2) QApplication::exit(s);
  });
  if (scripted) {
    // A screen-sized window, as a maximised one would be where no window manager runs.
    if (QScreen* screen = dlg.screen()) dlg.setGeometry(screen->availableGeometry());
    dlg.show();
  } else {
    dlg.showMaximized();
  }
  QTimer::singleShot(0, &dlg, [&dlg] { dlg.Start(); });
  const int loop = exec();
  return status != 0 ? status : loop;
}

}  // namespace edbx::gui
