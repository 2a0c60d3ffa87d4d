#pragma once

#include <string>
#include <string_view>

#include "settings/settings_error.h"

namespace verifax {

/// A window's state, numbered as the settings file stores it.
enum class WindowState { kNormal = 1, kMinimized = 2, kMaximized = 3 };

/// A top-level window as its placement is stored and restored: its state and its outer
/// bounds (frame included) in screen pixels.
class PlacementWindow {
 public:
  virtual ~PlacementWindow() = default;
  virtual WindowState State() const = 0;
  virtual void SetState(WindowState state) = 0;
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetLeft(int left) = 0;
  virtual void SetTop(int top) = 0;
  virtual void SetWidth(int width) = 0;
  virtual void SetHeight(int height) = 0;
  /// The smallest outer size the window accepts; 0 when it has no minimum.
  virtual int MinimumWidth() const = 0;
  virtual int MinimumHeight() const = 0;
};

/// A rectangle by its edges; `right` and `bottom` lie just outside it.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

/// The primary display.
class PlacementScreen {
 public:
  virtual ~PlacementScreen() = default;
  /// The full size, in pixels.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  /// The screen less the task bar and other docked bars.
  virtual ScreenRect WorkArea() const = 0;
};

/// Stores the window's placement in the section "FORM_" + `name` of the settings file:
/// "ScrWidth", "ScrHeight", "WindowState" (1 normal, 2 minimized, 3 maximized), "Width",
/// "Height", "Left", "Top", in that order. Loads and saves the whole file without the
/// settings lock; a blank `file_name` means the default file. Throws SettingsFileError
/// when the file cannot be read or written.
void SaveFormState(const PlacementWindow& window, const PlacementScreen& screen,
                   std::string_view name, const std::string& file_name);

/// Restores the placement stored by SaveFormState. With nothing stored, the window is
/// centred on the screen, keeping its size and state. When the stored screen matches
/// the current one in width or in height, the stored state is set and, unless the window
/// is then maximized, its stored bounds (each 0 when missing, sizes no smaller than the
/// window's minimum), moved and narrowed into the work area. When both dimensions differ
/// nothing changes. Never writes the file; throws SettingsFileError when it exists but
/// cannot be read.
void LoadFormState(PlacementWindow& window, const PlacementScreen& screen, std::string_view name,
                   const std::string& file_name);

}  // namespace verifax
