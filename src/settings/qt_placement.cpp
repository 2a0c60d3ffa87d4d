#include "settings/qt_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <utility>

#include "settings/settings_error.h"

namespace verifax {

namespace {

std::string& SettingsFileOverride() {
  static std::string file_name;
  return file_name;
}

const QScreen& PrimaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) throw SettingsError("there is no screen");
  return *screen;
}

}  // namespace

WindowState QtPlacementWindow::State() const {
  const Qt::WindowStates states = widget_.windowState();
  if (states & Qt::WindowMinimized) return WindowState::kMinimized;
  if (states & Qt::WindowMaximized) return WindowState::kMaximized;
  return WindowState::kNormal;
}

void QtPlacementWindow::SetState(WindowState state) {
  Qt::WindowStates states = widget_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (state == WindowState::kMinimized) states |= Qt::WindowMinimized;
  if (state == WindowState::kMaximized) states |= Qt::WindowMaximized;
  widget_.setWindowState(states);
}

int QtPlacementWindow::Left() const {
  return widget_.frameGeometry().left();
}

int QtPlacementWindow::Top() const {
  return widget_.frameGeometry().top();
}

int QtPlacementWindow::Width() const {
  return widget_.frameGeometry().width();
}

int QtPlacementWindow::Height() const {
  return widget_.frameGeometry().height();
}

// A window's position is its frame's top left corner.
void QtPlacementWindow::SetLeft(int left) {
  widget_.move(left, Top());
}

void QtPlacementWindow::SetTop(int top) {
  widget_.move(Left(), top);
}

// The widget sizes its client area; Qt holds it within the widget's minimum and maximum.
void QtPlacementWindow::SetWidth(int width) {
  widget_.resize(width - FrameWidth(), widget_.height());
}

void QtPlacementWindow::SetHeight(int height) {
  widget_.resize(widget_.width(), height - FrameHeight());
}

int QtPlacementWindow::MinimumWidth() const {
  const int minimum = widget_.minimumWidth();
  return minimum > 0 ? minimum + FrameWidth() : 0;
}

int QtPlacementWindow::MinimumHeight() const {
  const int minimum = widget_.minimumHeight();
  return minimum > 0 ? minimum + FrameHeight() : 0;
}

int QtPlacementWindow::FrameWidth() const {
  return widget_.frameGeometry().width() - widget_.width();
}

int QtPlacementWindow::FrameHeight() const {
  return widget_.frameGeometry().height() - widget_.height();
}

int QtPlacementScreen::Width() const {
  return screen_.geometry().width();
}

int QtPlacementScreen::Height() const {
  return screen_.geometry().height();
}

ScreenRect QtPlacementScreen::WorkArea() const {
  const QRect area = screen_.availableGeometry();
  return ScreenRect{area.left(), area.top(), area.left() + area.width(),
                    area.top() + area.height()};
}

const std::string& ProgramSettingsFile() {
  return SettingsFileOverride();
}

void SetProgramSettingsFile(std::string file_name) {
  SettingsFileOverride() = std::move(file_name);
}

void LoadWidgetPlacement(QWidget& widget, std::string_view name) {
  QtPlacementWindow window(widget);
  LoadFormState(window, QtPlacementScreen(PrimaryScreen()), name, ProgramSettingsFile());
}

void SaveWidgetPlacement(QWidget& widget, std::string_view name) {
  QtPlacementWindow window(widget);
  SaveFormState(window, QtPlacementScreen(PrimaryScreen()), name, ProgramSettingsFile());
}

void LoadWidgetPlacementQuietly(QWidget& widget, std::string_view name) noexcept {
  try {
    LoadWidgetPlacement(widget, name);
  } catch (...) {
  }
}

void SaveWidgetPlacementQuietly(QWidget& widget, std::string_view name) noexcept {
  try {
    SaveWidgetPlacement(widget, name);
  } catch (...) {
  }
}

}  // namespace verifax
