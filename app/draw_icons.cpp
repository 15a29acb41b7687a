// Writes the program's pictures as PNG files: the application icon and the 16 tree
// icons (under tree/), for installation beside the desktop file.

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "app/artwork.hpp"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: edbx_draw_icons OUTDIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("tree"))) return 1;
  bool ok = edbx::gui::DrawAppIcon(256).save(out.filePath(QStringLiteral("edbexport-gui.png")), "PNG");
  for (int i = 0; i < edbx::gui::kTreeIconCount; ++i)
    ok = edbx::gui::DrawTreeIcon(i).save(out.filePath(QStringLiteral("tree/") + edbx::gui::TreeIconName(i)), "PNG") &&
         ok;
  return ok ? 0 : 1;
}
