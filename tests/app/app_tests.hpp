#pragma once
// The Qt Test suites of the desktop program, run one at a time by name.

#include <QObject>

#include <memory>

namespace edbx::gui::test {

std::unique_ptr<QObject> MakeLayoutTest();
std::unique_ptr<QObject> MakeTreeTest();
std::unique_ptr<QObject> MakeSelectionDialogTest();
std::unique_ptr<QObject> MakeMainDialogTest();
std::unique_ptr<QObject> MakePreviewPaneTest();

}  // namespace edbx::gui::test
