#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/window.hpp"

using platform::win32::childWindows;
using platform::win32::ControlKind;
using platform::win32::windowState;

namespace {

HMENU idOf(int id) {
    return reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id));
}

LPARAM text(const char16_t* t) {
    return reinterpret_cast<LPARAM>(t);
}

struct Dialog {
    HWND main = platform::win32::createTopLevelWindow("Quorvel", "Quorvel");
    HWND child(const char16_t* className, int id, DWORD style = WS_CHILD | WS_VISIBLE) {
        return CreateWindowExW(0, className, u"", style, 10, 20, 100, 16, main, idOf(id), nullptr, nullptr);
    }
};

HWND comboWith(Dialog& d, std::initializer_list<const char16_t*> items) {
    HWND combo = d.child(u"ComboBox", 300);
    for (const char16_t* item : items)
        SendMessageW(combo, CB_ADDSTRING, 0, text(item));
    return combo;
}

} // namespace

TEST(WindowControls, ChildControlsAreFoundByIdAndDieWithTheirParent) {
    Dialog d;
    HWND box = d.child(u"BUTTON", 32771);
    HWND edit = d.child(u"Edit", 32828, WS_CHILD | WS_DISABLED);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetDlgItem(d.main, 32771), box);
    EXPECT_EQ(GetDlgItem(d.main, 32828), edit);
    EXPECT_EQ(GetDlgItem(d.main, 1), nullptr);
    EXPECT_EQ(GetDlgItem(nullptr, 32771), nullptr);
    EXPECT_EQ(GetDlgCtrlID(edit), 32828);
    EXPECT_EQ(childWindows(d.main), (std::vector<HWND>{box, edit}));

    const auto s = windowState(edit).value();
    EXPECT_EQ(s.kind, ControlKind::Edit);
    EXPECT_EQ(s.parent, d.main);
    EXPECT_EQ(s.y, 20);
    EXPECT_EQ(s.width, 100);
    EXPECT_FALSE(s.enabled) << "created with WS_DISABLED";

    EXPECT_TRUE(DestroyWindow(d.main));
    EXPECT_FALSE(IsWindow(box));
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0), 0);
    EXPECT_EQ(CreateWindowExW(0, u"BUTTON", u"", WS_CHILD, 0, 0, 1, 1, d.main, idOf(5), nullptr, nullptr),
              nullptr);
}

TEST(WindowControls, CheckBoxesKeepTheirState) {
    Dialog d;
    HWND box = d.child(u"button", 7);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(IsDlgButtonChecked(d.main, 7), BST_CHECKED);
    EXPECT_TRUE(CheckDlgButton(d.main, 7, BST_UNCHECKED));
    EXPECT_EQ(windowState(box)->checked, BST_UNCHECKED);
    EXPECT_FALSE(CheckDlgButton(d.main, 8, BST_CHECKED));
}

TEST(WindowControls, ComboBoxItemsAndSelection) {
    Dialog d;
    HWND combo = comboWith(d, {u"10", u"20", u"30"});
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 1, 0), 1);
    char16_t buffer[8] = {};
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0), 2);
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buffer)), 2);
    EXPECT_EQ(std::u16string(buffer), u"20");
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(buffer)), CB_ERR);

    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 3, 0), CB_ERR);
    EXPECT_EQ(windowState(combo)->selection, -1) << "an index out of range clears the selection";
    SendMessageW(combo, CB_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessageW(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
    EXPECT_EQ(windowState(combo)->selection, -1);
    EXPECT_TRUE(windowState(combo)->items.empty());
}

TEST(WindowControls, SelectStringIsACaseBlindPrefixSearchThatKeepsTheSelectionOnNoMatch) {
    Dialog d;
    HWND combo = comboWith(d, {u"AIG, FSLTL", u"FSLTL, AIG", u"AIG", u"Ämter"});
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), text(u"aig")), 0);
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, 0, text(u"aig")), 2) << "search starts after wParam";
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, 2, text(u"AIG")), 0) << "and wraps round";
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), text(u"ämt")), 3);
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), text(u"MTL")), CB_ERR);
    EXPECT_EQ(windowState(combo)->selection, 3);
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), text(u"")), 0);
}

TEST(WindowControls, WindowTextOfEditsAndDropDownLists) {
    Dialog d;
    HWND edit = d.child(u"EDIT", 1);
    EXPECT_TRUE(SetWindowTextW(edit, u"EHAM"));
    char16_t buffer[3] = {};
    EXPECT_EQ(GetWindowTextW(edit, buffer, 3), 2) << "truncated to the buffer with its terminator";
    EXPECT_EQ(std::u16string(buffer), u"EH");
    EXPECT_EQ(GetWindowTextLengthW(edit), 4);

    HWND combo = comboWith(d, {u"2", u"40", u"400"});
    EXPECT_TRUE(SetWindowTextW(combo, u"40"));
    EXPECT_EQ(windowState(combo)->selection, 1) << "a drop-down list selects the equal item";
    EXPECT_FALSE(SetWindowTextW(combo, u"7"));
    EXPECT_EQ(windowState(combo)->selection, 1);
    EXPECT_EQ(windowState(combo)->text, u"40");
}

TEST(WindowControls, EnablingAndRepaintRequests) {
    Dialog d;
    HWND combo = d.child(u"COMBOBOX", 2);
    EXPECT_FALSE(EnableWindow(combo, FALSE)) << "was enabled";
    EXPECT_FALSE(IsWindowEnabled(combo));
    EXPECT_TRUE(EnableWindow(combo, TRUE)) << "was disabled";
    EXPECT_TRUE(IsWindowEnabled(combo));

    const std::size_t before = platform::win32::invalidationCount();
    const RECT options{0, 112, 880, 392};
    EXPECT_TRUE(InvalidateRect(d.main, &options, TRUE));
    EXPECT_TRUE(InvalidateRect(d.main, nullptr, FALSE));
    EXPECT_EQ(platform::win32::invalidationCount(), before + 2);
    const auto last = platform::win32::invalidations();
    ASSERT_GE(last.size(), 2U);
    EXPECT_EQ(last[last.size() - 2].rect.bottom, 392);
    EXPECT_TRUE(last[last.size() - 2].erase);
    EXPECT_TRUE(last.back().wholeClientArea);
}

namespace {

WNDPROC gPreviousEditProc = nullptr;

// Upper-cases text set into the edit field and passes everything on to the control.
LRESULT upperCaseEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam != 0) {
        std::u16string t(reinterpret_cast<LPCWSTR>(lParam));
        for (auto& c : t)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        return CallWindowProcW(gPreviousEditProc, window, message, wParam,
                               reinterpret_cast<LPARAM>(t.c_str()));
    }
    return CallWindowProcW(gPreviousEditProc, window, message, wParam, lParam);
}

} // namespace

TEST(WindowControls, SubclassedEditSeesItsMessagesFirst) {
    Dialog d;
    HWND edit = d.child(u"EDIT", 3);
    gPreviousEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&upperCaseEdit)));
    ASSERT_NE(gPreviousEditProc, nullptr);
    SetWindowTextW(edit, u"dlh");
    EXPECT_EQ(windowState(edit)->text, u"DLH");
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&upperCaseEdit));
}

TEST(WindowControlsConcurrency, MessagesFromSeveralThreadsAreAllApplied) {
    Dialog d;
    HWND combo = d.child(u"ComboBox", 4);
    HWND edit = d.child(u"Edit", 5);
    gPreviousEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&upperCaseEdit)));
    constexpr int kThreads = 4;
    constexpr int kItems = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kItems; ++i) {
                SendMessageW(combo, CB_ADDSTRING, 0, text(u"item"));
                SendMessageW(combo, CB_SETCURSEL, 0, 0);
                SetWindowTextW(edit, u"abc"); // runs a procedure that calls back into the model
                InvalidateRect(d.main, nullptr, TRUE);
                (void)platform::win32::windowState(combo);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), kThreads * kItems);
    EXPECT_EQ(windowState(edit)->text, u"ABC");
}
