#include "settings/form_state.h"

#include <algorithm>

#include "settings/ini_file.h"
#include "settings/settings_store.h"

namespace verifax {

namespace {

std::string SectionName(std::string_view name) {
  return "FORM_" + std::string(name);
}

void CentreOnScreen(PlacementWindow& window, const PlacementScreen& screen) {
  window.SetTop((screen.Height() - window.Height()) / 2);
  window.SetLeft((screen.Width() - window.Width()) / 2);
}

// Setting a size is subject to the window's minimum size.
void SetWidth(PlacementWindow& window, int width) {
  window.SetWidth(std::max(width, window.MinimumWidth()));
}
void SetHeight(PlacementWindow& window, int height) {
  window.SetHeight(std::max(height, window.MinimumHeight()));
}

// Each test reads the window's current values, as its setters may have adjusted them.
void KeepInWorkArea(PlacementWindow& window, const ScreenRect& area) {
  if (window.Left() < area.left) window.SetLeft(area.left);
  if (window.Top() < area.top) window.SetTop(area.top);
  if (window.Left() + window.Width() > area.right) {
    window.SetLeft(area.left);
    if (window.Left() + window.Width() > area.right) SetWidth(window, area.right - window.Left());
  }
  if (window.Top() + window.Height() > area.bottom) {
    window.SetTop(area.top);
    if (window.Top() + window.Height() > area.bottom) SetHeight(window, area.bottom - window.Top());
  }
}

}  // namespace

void SaveFormState(const PlacementWindow& window, const PlacementScreen& screen,
                   std::string_view name, const std::string& file_name) {
  const std::string path = SettingsFileName(file_name);
  IniFile ini = IniFile::Load(path);
  const std::string section = SectionName(name);
  ini.WriteInteger(section, "ScrWidth", screen.Width());
  ini.WriteInteger(section, "ScrHeight", screen.Height());
  ini.WriteInteger(section, "WindowState", static_cast<int>(window.State()));
  ini.WriteInteger(section, "Width", window.Width());
  ini.WriteInteger(section, "Height", window.Height());
  ini.WriteInteger(section, "Left", window.Left());
  ini.WriteInteger(section, "Top", window.Top());
  ini.Save(path);
}

void LoadFormState(PlacementWindow& window, const PlacementScreen& screen, std::string_view name,
                   const std::string& file_name) {
  const IniFile ini = IniFile::Load(SettingsFileName(file_name));
  const std::string section = SectionName(name);
  if (!ini.SectionHasKeys(section)) {
    CentreOnScreen(window, screen);
    return;
  }
  if (ini.ReadInteger(section, "ScrWidth", 0) != screen.Width() &&
      ini.ReadInteger(section, "ScrHeight", 0) != screen.Height()) {
    return;
  }
  switch (ini.ReadInteger(section, "WindowState", 0)) {
    case 1:
      window.SetState(WindowState::kNormal);
      break;
    case 2:
      window.SetState(WindowState::kMinimized);
      break;
    case 3:
      window.SetState(WindowState::kMaximized);
      break;
    default:
      break;
  }
  if (window.State() == WindowState::kMaximized) return;

  window.SetTop(ini.ReadInteger(section, "Top", 0));
  window.SetLeft(ini.ReadInteger(section, "Left", 0));
  SetWidth(window, ini.ReadInteger(section, "Width", 0));
  SetHeight(window, ini.ReadInteger(section, "Height", 0));
  if (window.Top() < 0) window.SetTop(0);
  if (window.Left() < 0) window.SetLeft(0);
  KeepInWorkArea(window, screen.WorkArea());
}

}  // namespace verifax
