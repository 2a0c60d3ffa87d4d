#pragma once

#include <string>
#include <string_view>

#include "settings/form_state.h"

class QScreen;
class QWidget;

namespace verifax {

/// A top-level QWidget as its placement is stored: the outer bounds are its frame
/// geometry, the setters move and resize the frame, and the minimum size is the widget's
/// own plus its frame. Before the widget has a native window its frame is not known and
/// counts as none.
class QtPlacementWindow : public PlacementWindow {
 public:
  explicit QtPlacementWindow(QWidget& widget) : widget_(widget) {}

  /// Minimized when the widget is minimized (whatever else it is), else maximized when it
  /// is maximized, else normal.
  WindowState State() const override;
  /// Sets the widget's minimized and maximized flags to `state`, leaving its other flags.
  void SetState(WindowState state) override;
  int Left() const override;
  int Top() const override;
  int Width() const override;
  int Height() const override;
  void SetLeft(int left) override;
  void SetTop(int top) override;
  void SetWidth(int width) override;
  void SetHeight(int height) override;
  int MinimumWidth() const override;
  int MinimumHeight() const override;

 private:
  // The frame's share of the outer size: outer size less the client size.
  int FrameWidth() const;
  int FrameHeight() const;

  QWidget& widget_;
};

/// A QScreen as the primary display: its full size is its geometry, its work area its
/// available geometry.
class QtPlacementScreen : public PlacementScreen {
 public:
  explicit QtPlacementScreen(const QScreen& screen) : screen_(screen) {}

  int Width() const override;
  int Height() const override;
  ScreenRect WorkArea() const override;

 private:
  const QScreen& screen_;
};

/// The settings file that the program's windows keep their state in, for the settings
/// operations: blank (the file beside the executable) unless SetProgramSettingsFile
/// named another.
const std::string& ProgramSettingsFile();

/// Points the program's windows at another settings file (used by tests); a blank name
/// restores the file beside the executable. User-interface thread only.
void SetProgramSettingsFile(std::string file_name);

/// LoadFormState of `widget` on the primary screen, with ProgramSettingsFile(). Throws
/// SettingsFileError as LoadFormState does, and SettingsError when there is no screen.
void LoadWidgetPlacement(QWidget& widget, std::string_view name);

/// SaveFormState of `widget` on the primary screen, with ProgramSettingsFile(). Throws
/// SettingsFileError as SaveFormState does, and SettingsError when there is no screen.
void SaveWidgetPlacement(QWidget& widget, std::string_view name);

/// The two above for a window's show and close handlers: any failure is ignored, since an
/// exception must not cross Qt's event loop; the window then stays where Qt put it.
void LoadWidgetPlacementQuietly(QWidget& widget, std::string_view name) noexcept;
void SaveWidgetPlacementQuietly(QWidget& widget, std::string_view name) noexcept;

}  // namespace verifax
