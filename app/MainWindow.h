// The window: loads its interface description, makes its ViewController,
// connects the eleven outlets through their setters and wires the actions.
// Around the controls that the ViewController drives it shows the radio in
// use, each bound vehicle's state, the slider values and the link's log.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

#include "app/RadioChoice.h"

class QLabel;
class QTimer;
class LinkLogForwarder;
class TaggedSlider;
class ViewController;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Radio radio, QWidget* parent = nullptr);
    ~MainWindow() override;

    ViewController& viewController() const { return *viewController_; }

    // Reads the registry into the panel titles and the status bar; also runs
    // on a timer while the window is open.
    void refreshStatus();

private:
    void connectOutlets();
    void wireActions();
    void showValueOf(TaggedSlider* slider, QLabel* label);
    void setUpStatusBar();
    void showLogLine(const QString& line);

    // Declared in this order so that the radio outlives the vehicles
    // controller inside the ViewController, and both outlive nothing of Qt's.
    Radio radio_;
    std::unique_ptr<Ui::MainWindow> ui_;
    std::unique_ptr<ViewController> viewController_;
    LinkLogForwarder* linkLog_ = nullptr;
    QLabel* radioLabel_ = nullptr;
    QLabel* registryLabel_ = nullptr;
    QLabel* lastLogLine_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    QString vexaTitle_, drummetTitle_, pellanTitle_;
};
