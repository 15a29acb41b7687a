#pragma once
// The look shared by the program's dialogs.

#include <QColor>
#include <QFont>
#include <QStringList>

namespace edbx::gui {

/// The dialogs' background; static texts are drawn black on it.
inline const QColor kBackground{181, 241, 253};

/// The dialog font: 8 points of a font with the widths the control sizes were made for
/// (the dialog units assume them), with the system's sans-serif font as fallback.
inline QFont DialogFont() {
  QFont f;
  f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
                 QStringLiteral("DejaVu Sans")});
  f.setPointSize(8);
  return f;
}

}  // namespace edbx::gui
