#include "PanelFixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTest>

PanelFixture::PanelFixture() {
    QSettings().clear();  // each test starts as a first run
}

PanelFixture::~PanelFixture() {
    window_.reset();
    loop_.runUntilIdle();
}

void PanelFixture::addVehicle(std::uint8_t model, std::uint32_t identifier) {
    ble::sim::VehicleProfile profile;
    profile.model = model;
    profile.identifier = identifier;
    world_.addVehicle(profile);
}

void PanelFixture::openWindow(RadioCatalog catalog) {
    ble::CentralFactory worldFactory = world_.centralFactory();
    ble::CentralFactory counting = [this, worldFactory](std::weak_ptr<ble::CentralDelegate> d) {
        ++centralsMade_;
        return worldFactory(std::move(d));
    };
    window_ = std::make_unique<MainWindow>(Radio{counting, QStringLiteral("Simulated vehicles"), {}, {}},
                                           std::move(catalog));
    window_->viewController().setHealthClock([this] { return loop_.now(); });
    window_->show();
    window_->activateWindow();  // for the window's shortcuts
    if (!QTest::qWaitForWindowActive(window_.get())) ADD_FAILURE() << "the window never became active";
}

void PanelFixture::connect() {
    button("connectButton")->click();
    settle();
}

void PanelFixture::list() { button("listButton")->click(); }

void PanelFixture::settle(std::chrono::milliseconds time) { loop_.advance(time); }

TaggedButton* PanelFixture::button(const char* name) const {
    auto* found = window_->findChild<TaggedButton*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

TaggedSlider* PanelFixture::slider(const char* name) const {
    auto* found = window_->findChild<TaggedSlider*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QLineEdit* PanelFixture::field(const char* name) const {
    auto* found = window_->findChild<QLineEdit*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QString PanelFixture::output() const {
    return window_->findChild<QPlainTextEdit*>("outputArea")->toPlainText();
}

QString PanelFixture::savedLog() const {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.log"));
    EXPECT_TRUE(window_->saveLog(path));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll());
}

std::vector<Bytes> PanelFixture::writesTo(std::uint32_t identifier) const {
    std::vector<Bytes> frames;
    ble::sim::VirtualVehicle* vehicle = world_.vehicle(identifier);
    if (!vehicle) return frames;
    for (const ble::sim::RecordedWrite& write : vehicle->writes()) {
        EXPECT_EQ(write.type, ble::WriteType::WithoutResponse);
        frames.push_back(write.bytes);
    }
    return frames;
}

void PanelFixture::clearWrites() {
    for (ble::sim::VirtualVehicle* vehicle : world_.vehicles()) vehicle->clearWrites();
}
