#include "ZelvoApplication.h"

#include "AppMainFrame.h"

#include <clocale>

namespace Zelvo {

ZelvoApplication::ZelvoApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // QApplication adopts the user's locale; numbers in files and on standard output must
    // not depend on it.
    std::setlocale(LC_NUMERIC, "C");
    InitApp();
}

// The window goes before the application object it lives in.
ZelvoApplication::~ZelvoApplication() = default;

std::unique_ptr<AppMainFrame> ZelvoApplication::CreateMainWindow()
{
    auto window = std::make_unique<AppMainFrame>();
    window->showMaximized();
    window->setWindowTitle("Tolvemark v0.1");
    return window;
}

void ZelvoApplication::InitApp()
{
    m_mainWindow = CreateMainWindow();
}

}  // namespace Zelvo
