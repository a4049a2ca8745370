#pragma once
// The window's test programs share one QApplication (offscreen); each suite runs in turn.
#include <QApplication>

namespace flintcast::dialogs {
int RunDialogsTests(int argc, char** argv);
}
namespace flintcast::gui {
int RunWindowTests(int argc, char** argv);
}
