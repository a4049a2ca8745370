// Qt Test programs of the window and its dialogs, on the offscreen platform.
#include <cstdlib>

#include "tests/gui/gui_tests.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    int failed = flintcast::dialogs::RunDialogsTests(argc, argv);
    failed += flintcast::gui::RunWindowTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
