#pragma once

#include <QApplication>

#include <memory>

namespace Zelvo {

class AppMainFrame;

// The application object: sets up number formatting and shows the main window.
class ZelvoApplication : public QApplication {
    Q_OBJECT

public:
    ZelvoApplication(int& argc, char** argv);
    ~ZelvoApplication() override;

    AppMainFrame* GetMainWindow() const { return m_mainWindow.get(); }

    // The main window as the application starts it: maximised, with its title.
    static std::unique_ptr<AppMainFrame> CreateMainWindow();

private:
    void InitApp();

    std::unique_ptr<AppMainFrame> m_mainWindow;
};

}  // namespace Zelvo
