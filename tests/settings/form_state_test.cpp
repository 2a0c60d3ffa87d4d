#include "settings/form_state.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "settings_test_util.h"

namespace verifax {
namespace {

using settings_test::Exists;
using settings_test::ReadBytes;
using settings_test::TempFolder;
using settings_test::WriteBytes;

struct Placement {
  WindowState state = WindowState::kNormal;
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Placement&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Placement& p) {
  return out << "state " << int(p.state) << " left " << p.left << " top " << p.top << " width "
             << p.width << " height " << p.height;
}

class FakeWindow : public PlacementWindow {
 public:
  explicit FakeWindow(Placement p, int min_width = 0, int min_height = 0)
      : p_(p), min_width_(min_width), min_height_(min_height) {}
  const Placement& placement() const { return p_; }

  WindowState State() const override { return p_.state; }
  void SetState(WindowState state) override { p_.state = state; }
  int Left() const override { return p_.left; }
  int Top() const override { return p_.top; }
  int Width() const override { return p_.width; }
  int Height() const override { return p_.height; }
  void SetLeft(int left) override { p_.left = left; }
  void SetTop(int top) override { p_.top = top; }
  void SetWidth(int width) override { p_.width = width; }
  void SetHeight(int height) override { p_.height = height; }
  int MinimumWidth() const override { return min_width_; }
  int MinimumHeight() const override { return min_height_; }

 private:
  Placement p_;
  int min_width_, min_height_;
};

class FakeScreen : public PlacementScreen {
 public:
  FakeScreen(int width, int height, ScreenRect work_area)
      : width_(width), height_(height), work_area_(work_area) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  ScreenRect WorkArea() const override { return work_area_; }

 private:
  int width_, height_;
  ScreenRect work_area_;
};

// 800 by 600 with the task bar at the bottom.
const FakeScreen kScreen(800, 600, {0, 0, 800, 560});

// The section as SaveFormState writes it, with the screen 800 by 600.
std::string Section(int state, int width, int height, int left, int top) {
  return "[FORM_W]\r\nScrWidth=800\r\nScrHeight=600\r\nWindowState=" + std::to_string(state) +
         "\r\nWidth=" + std::to_string(width) + "\r\nHeight=" + std::to_string(height) +
         "\r\nLeft=" + std::to_string(left) + "\r\nTop=" + std::to_string(top) + "\r\n\r\n";
}

TEST(FormStateTest, LoadPlacesTheWindow) {
  const Placement kCreated{WindowState::kNormal, 30, 40, 516, 338};
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nothing: no settings file
    FakeScreen screen;
    Placement before;
    Placement after;
    int min_width = 0, min_height = 0;
  };
  const Case cases[] = {
      {"first start: centred",
       std::nullopt,
       kScreen,
       kCreated,
       {WindowState::kNormal, 142, 131, 516, 338}},
      {"larger than the screen: centred, negative edges, truncated toward zero",
       std::nullopt,
       kScreen,
       {WindowState::kMaximized, 0, 0, 1001, 601},
       {WindowState::kMaximized, -100, 0, 1001, 601}},
      {"a section without keys counts as none",
       "[FORM_W]\r\n[OTHER]\r\nx=1\r\n",
       kScreen,
       kCreated,
       {WindowState::kNormal, 142, 131, 516, 338}},
      {"restored",
       Section(1, 600, 400, 10, 20),
       kScreen,
       kCreated,
       {WindowState::kNormal, 10, 20, 600, 400}},
      {"names match in any letter case",
       "[form_w]\r\nscrwidth=800\r\nleft=5\r\n",
       kScreen,
       kCreated,
       {WindowState::kNormal, 5, 0, 0, 0}},
      {"maximized: state only, bounds as they were",
       Section(3, 800, 560, 0, 0),
       kScreen,
       kCreated,
       {WindowState::kMaximized, 30, 40, 516, 338}},
      {"minimized: state and bounds",
       Section(2, 600, 400, 10, 20),
       kScreen,
       kCreated,
       {WindowState::kMinimized, 10, 20, 600, 400}},
      {"an unknown state leaves the state",
       Section(7, 600, 400, 10, 20),
       kScreen,
       {WindowState::kMinimized, 30, 40, 516, 338},
       {WindowState::kMinimized, 10, 20, 600, 400}},
      {"only the height still matches",
       Section(1, 600, 400, 10, 20),
       FakeScreen(1024, 600, {0, 0, 1024, 560}),
       kCreated,
       {WindowState::kNormal, 10, 20, 600, 400}},
      {"only the width still matches",
       Section(1, 600, 400, 10, 20),
       FakeScreen(800, 768, {0, 0, 800, 728}),
       kCreated,
       {WindowState::kNormal, 10, 20, 600, 400}},
      {"both dimensions differ: nothing changes, not even centring", Section(3, 600, 400, 10, 20),
       FakeScreen(1024, 768, {0, 0, 1024, 728}), kCreated, kCreated},
      {"negative edges become 0",
       Section(1, 600, 400, -8, -8),
       kScreen,
       kCreated,
       {WindowState::kNormal, 0, 0, 600, 400}},
      {"negative edges become 0 even where the work area begins further out",
       Section(1, 600, 400, -8, -8),
       FakeScreen(800, 600, {-100, -50, 800, 560}),
       kCreated,
       {WindowState::kNormal, 0, 0, 600, 400}},
      {"negative edges with bars on the left and top: the work area's edges",
       Section(1, 600, 400, -8, -8),
       FakeScreen(800, 600, {60, 30, 800, 600}),
       kCreated,
       {WindowState::kNormal, 60, 30, 600, 400}},
      {"past the right edge: moved to the work area's left",
       Section(1, 600, 400, 300, 20),
       FakeScreen(800, 600, {60, 0, 800, 560}),
       kCreated,
       {WindowState::kNormal, 60, 20, 600, 400}},
      {"still too wide: narrowed",
       Section(1, 900, 400, 300, 20),
       FakeScreen(800, 600, {60, 0, 800, 560}),
       kCreated,
       {WindowState::kNormal, 60, 20, 740, 400}},
      {"past the bottom edge: moved to the work area's top",
       Section(1, 600, 400, 10, 300),
       FakeScreen(800, 600, {0, 30, 800, 600}),
       kCreated,
       {WindowState::kNormal, 10, 30, 600, 400}},
      {"still too tall: shortened",
       Section(1, 600, 700, 10, 300),
       kScreen,
       kCreated,
       {WindowState::kNormal, 10, 0, 600, 560}},
      {"on a monitor to the right",
       Section(1, 600, 400, 1700, 20),
       kScreen,
       kCreated,
       {WindowState::kNormal, 0, 20, 600, 400}},
      {"on a monitor above",
       Section(1, 600, 400, 10, -700),
       kScreen,
       kCreated,
       {WindowState::kNormal, 10, 0, 600, 400}},
      {"on a monitor below",
       Section(1, 600, 400, 10, 900),
       kScreen,
       kCreated,
       {WindowState::kNormal, 10, 0, 600, 400}},
      {"keys missing read as 0, sizes no smaller than the minimum",
       "[FORM_W]\r\nScrHeight=600\r\n",
       kScreen,
       kCreated,
       {WindowState::kNormal, 0, 0, 500, 300},
       500,
       300},
      {"narrowing stops at the minimum",
       Section(1, 900, 400, 300, 20),
       kScreen,
       kCreated,
       {WindowState::kNormal, 0, 20, 850, 400},
       850,
       300},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string file = folder.File("verifax.ini");
    if (c.file) WriteBytes(file, *c.file);
    FakeWindow window(c.before, c.min_width, c.min_height);
    LoadFormState(window, c.screen, "W", file);
    EXPECT_EQ(window.placement(), c.after) << c.what;
    if (c.file) {
      EXPECT_EQ(ReadBytes(file), *c.file) << c.what;
    } else {
      EXPECT_FALSE(Exists(file)) << c.what;
    }
  }
}

TEST(FormStateTest, SaveWritesTheSevenKeysInOrder) {
  TempFolder folder;
  const std::string file = folder.File("verifax.ini");
  FakeWindow window({WindowState::kNormal, 142, 131, 516, 338});
  SaveFormState(window, kScreen, "VERIFAX", file);
  EXPECT_EQ(ReadBytes(file),
            "[FORM_VERIFAX]\r\nScrWidth=800\r\nScrHeight=600\r\nWindowState=1\r\nWidth=516\r\n"
            "Height=338\r\nLeft=142\r\nTop=131\r\n\r\n");
}

TEST(FormStateTest, SaveThenLoadRestoresEachState) {
  const Placement saved[] = {
      {WindowState::kNormal, 10, 20, 600, 400},
      {WindowState::kMinimized, 10, 20, 600, 400},
      {WindowState::kMaximized, 0, 0, 800, 560},
  };
  for (const Placement& p : saved) {
    TempFolder folder;
    const std::string file = folder.File("verifax.ini");
    SaveFormState(FakeWindow(p), kScreen, "W", file);
    const Placement created{WindowState::kNormal, 30, 40, 516, 338};
    FakeWindow reopened(created);
    LoadFormState(reopened, kScreen, "W", file);
    Placement expected = p.state == WindowState::kMaximized ? created : p;
    expected.state = p.state;
    EXPECT_EQ(reopened.placement(), expected);
  }
}

TEST(FormStateTest, WindowsKeepSeparateSections) {
  TempFolder folder;
  const std::string file = folder.File("verifax.ini");
  WriteBytes(file, "[VERIFAX]\r\nSAFTFILE=C:\\Dados\\saft.xml\r\n");
  const Placement company{WindowState::kNormal, 10, 20, 300, 200};
  const Placement main{WindowState::kMaximized, 0, 0, 800, 560};
  SaveFormState(FakeWindow(company), kScreen, "VERIFAX_COMPANY", file);
  SaveFormState(FakeWindow(main), kScreen, "VERIFAX", file);
  const std::string main_section =
      "[FORM_VERIFAX]\r\nScrWidth=800\r\nScrHeight=600\r\nWindowState=3\r\nWidth=800\r\n"
      "Height=560\r\nLeft=0\r\nTop=0\r\n\r\n";
  const std::string before = ReadBytes(file);
  EXPECT_EQ(before.find("[VERIFAX]\r\nSAFTFILE=C:\\Dados\\saft.xml\r\n\r\n[FORM_VERIFAX_COMPANY]"),
            0u);
  EXPECT_NE(before.find(main_section), std::string::npos);

  const Placement company_moved{WindowState::kNormal, 50, 60, 300, 200};
  SaveFormState(FakeWindow(company_moved), kScreen, "VERIFAX_COMPANY", file);
  const std::string after = ReadBytes(file);
  EXPECT_EQ(after.substr(after.size() - main_section.size()), main_section);

  FakeWindow company_window({WindowState::kNormal, 0, 0, 300, 200});
  LoadFormState(company_window, kScreen, "VERIFAX_COMPANY", file);
  EXPECT_EQ(company_window.placement(), company_moved);
  FakeWindow main_window({WindowState::kNormal, 0, 0, 516, 338});
  LoadFormState(main_window, kScreen, "VERIFAX", file);
  EXPECT_EQ(main_window.State(), WindowState::kMaximized);
}

TEST(FormStateTest, FileThatCannotBeWrittenRaises) {
  TempFolder folder;
  FakeWindow window({WindowState::kNormal, 0, 0, 100, 100});
  EXPECT_THROW(SaveFormState(window, kScreen, "W", folder.File("missing/verifax.ini")),
               SettingsFileError);
}

}  // namespace
}  // namespace verifax
