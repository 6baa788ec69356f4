// Pointer input: region order, guards, and what each click sets going.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"
#include "ui/input.h"
#include "ui/shared_state.h"

namespace {

std::string g_calls;
bool g_start_ok = true;
char* g_browse_result = nullptr;

bool fake_start() { g_calls += "start "; return g_start_ok; }
char* fake_browse() { g_calls += "browse "; return g_browse_result; }
void fake_agreement() { g_calls += "agreement "; }
void fake_close() { g_calls += "close "; }
void fake_minimise() { g_calls += "minimise "; }
const InputActions kActions = {fake_start, fake_browse, fake_agreement, fake_close, fake_minimise};

// Fresh window state as after an idle paint with a 200-pixel directory line.
class PointerInput : public testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_start_ok = true;
        g_browse_result = nullptr;
        g_installing = false;
        g_agreed = true;
        g_button_pressed = false;
        g_install_dir = "C:\\old\\";
        g_change_path_region = {235, 328, 48, 12};
        g_agreement_region = {125, 353, 48, 12};
        g_check_box_region = {20, 348, 20, 20};
    }
    std::string click(int x, int y) {
        g_calls.clear();
        on_press(x, y);
        on_release(x, y, kActions);
        return g_calls;
    }
};

}  // namespace

TEST_F(PointerInput, RegionsIncludeBothEnds) {
    struct Case {
        int x, y;
        const char* calls;
    } cases[] = {
        {460, 326, "start "}, {573, 368, "start "}, {574, 368, ""}, {573, 369, ""},
        {565, 10, "close "},  {583, 28, "close "},  {584, 28, ""},
        {535, 10, "minimise "}, {553, 28, "minimise "}, {554, 28, ""},
        {125, 353, "agreement "}, {173, 365, "agreement "}, {174, 365, ""},
        {235, 328, "browse "}, {283, 340, "browse "}, {284, 340, ""},
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
    on_release(500, 340, kActions);
    EXPECT_FALSE(g_button_pressed);
    EXPECT_FALSE(g_installing);
}

TEST_F(PointerInput, WorkerThatCannotStartLeavesTheIdleScreen) {
    g_start_ok = false;
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
    EXPECT_STREQ(g_install_dir.load(), "C:\\old\\");
    static char chosen[] = "D:\\Apps\\";
    g_browse_result = chosen;
    RepaintCounter repaints;
    click(240, 330);
    EXPECT_EQ(g_install_dir.load(), chosen);
    EXPECT_EQ(repaints.count(), 1);
}

TEST_F(PointerInput, PressOnTheButtonReleaseElsewhereActsWhereReleased) {
    on_press(500, 340);
    EXPECT_TRUE(g_button_pressed);
    g_calls.clear();
    on_release(30, 360, kActions);
    EXPECT_FALSE(g_button_pressed);
    EXPECT_FALSE(g_agreed);
    EXPECT_FALSE(g_installing);
}
