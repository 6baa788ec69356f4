// Pointer input: region order, guards, and what each click sets going.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install/install_state.h"
#include "support/repaint_counter.h"
#include "ui/input.h"
#include "ui/ui_state.h"

namespace {

// The window's side of a click, recorded: the actions' context.
struct FakeWindow {
    std::string calls;
    bool start_ok = true;
    wchar_t* browse_result = nullptr;
};
FakeWindow* window_of(void* context) { return static_cast<FakeWindow*>(context); }
bool fake_start(void* w) {
    window_of(w)->calls += "start ";
    return window_of(w)->start_ok;
}
wchar_t* fake_browse(void* w) {
    window_of(w)->calls += "browse ";
    return window_of(w)->browse_result;
}
void fake_agreement(void* w) { window_of(w)->calls += "agreement "; }
void fake_close(void* w) { window_of(w)->calls += "close "; }
void fake_minimise(void* w) { window_of(w)->calls += "minimise "; }

// Fresh window state as after an idle paint with a 200-pixel directory line.
class PointerInput : public testing::Test {
protected:
    void SetUp() override {
        window = FakeWindow{};
        g_installing = false;
        g_agreed = true;
        g_button_pressed = false;
        g_install_dir = L"C:\\old\\";
        g_change_path_region = {235, 328, 48, 12};
        g_agreement_region = {125, 353, 48, 12};
        g_check_box_region = {20, 348, 20, 20};
    }
    std::string click(int x, int y) {
        window.calls.clear();
        on_press(x, y);
        on_release(x, y, actions());
        return window.calls;
    }
    InputActions actions() {
        return InputActions{&window, fake_start, fake_browse, fake_agreement, fake_close, fake_minimise};
    }
    FakeWindow window;
};

}  // namespace

TEST_F(PointerInput, RegionsIncludeBothEnds) {
    struct Case {
        int x, y;
        const char* calls;
    } cases[] = {
        {460, 326, "start "}, {573, 368, "start "},     {574, 368, ""},
        {573, 369, ""},       {565, 10, "close "},      {583, 28, "close "},
        {584, 28, ""},        {535, 10, "minimise "},   {553, 28, "minimise "},
        {554, 28, ""},        {125, 353, "agreement "}, {173, 365, "agreement "},
        {174, 365, ""},       {235, 328, "browse "},    {283, 340, "browse "},
        {284, 340, ""},
    };
    for (const Case& c : cases) {
        g_installing = false;
        EXPECT_EQ(click(c.x, c.y), c.calls) << c.x << "," << c.y;
    }
}

TEST_F(PointerInput, InstallClickSetsTheFlagOnceAndOnlyWhenAgreed) {
    RepaintCounter repaints;
    EXPECT_EQ(click(500, 340), "start ");
    EXPECT_TRUE(g_installing);
    EXPECT_FALSE(g_button_pressed);
    EXPECT_EQ(click(500, 340), "");  // refused while installing

    g_installing = false;
    g_agreed = false;
    on_press(500, 340);
    EXPECT_TRUE(g_button_pressed);  // drawn pressed while held, whatever the agreement
    on_release(500, 340, actions());
    EXPECT_FALSE(g_button_pressed);
    EXPECT_FALSE(g_installing);
}

TEST_F(PointerInput, WorkerThatCannotStartLeavesTheIdleScreen) {
    window.start_ok = false;
    EXPECT_EQ(click(500, 340), "start ");
    EXPECT_FALSE(g_installing);
}

TEST_F(PointerInput, GuardsWhileInstalling) {
    g_installing = true;
    struct Case {
        int x, y;
        const char* calls;
    } cases[] = {
        {570, 15, ""},             // close box refused
        {30, 360, ""},             // check box refused
        {240, 330, ""},            // change path refused
        {540, 15, "minimise "},    // minimise still works
        {130, 355, "agreement "},  // and the agreement link
    };
    for (const Case& c : cases) EXPECT_EQ(click(c.x, c.y), c.calls) << c.x << "," << c.y;
    EXPECT_TRUE(g_agreed);
}

TEST_F(PointerInput, CheckBoxTogglesAndTheFirstRegionDecides) {
    click(30, 360);
    EXPECT_FALSE(g_agreed);
    click(30, 360);
    EXPECT_TRUE(g_agreed);
    // A long directory line puts the change-path label over the install button: the button wins,
    // even when it refuses.
    g_change_path_region = {470, 328, 48, 12};
    g_agreed = false;
    EXPECT_EQ(click(480, 330), "");
}

TEST_F(PointerInput, ChosenFolderReplacesTheDirectoryAndCancelKeepsIt) {
    EXPECT_EQ(click(240, 330), "browse ");
    EXPECT_EQ(std::wstring(g_install_dir.load()), L"C:\\old\\");
    static wchar_t chosen[] = L"D:\\Apps\\";
    window.browse_result = chosen;
    RepaintCounter repaints;
    click(240, 330);
    EXPECT_EQ(g_install_dir.load(), chosen);
    EXPECT_EQ(repaints.count(), 1);
}

TEST_F(PointerInput, PressOnTheButtonReleaseElsewhereActsWhereReleased) {
    on_press(500, 340);
    EXPECT_TRUE(g_button_pressed);
    window.calls.clear();
    on_release(30, 360, actions());
    EXPECT_FALSE(g_button_pressed);
    EXPECT_FALSE(g_agreed);
    EXPECT_FALSE(g_installing);
}
