// The product's fixed names and the installation's texts, exactly as the user sees them.
#pragma once

// The service program, linked and launched only when the payload's option bits say so.
constexpr wchar_t SERVICE_PROGRAM[] = L"霁桐餐饮服务.exe";
// The cashier program, always linked and launched (maximised).
constexpr wchar_t CASHIER_PROGRAM[] = L"霁桐收银端.exe";

// Their desktop shortcuts.
constexpr wchar_t SERVICE_SHORTCUT[] = L"霁桐餐饮.lnk";
constexpr wchar_t CASHIER_SHORTCUT[] = L"霁桐收银端.lnk";

// The comment of both shortcuts.
constexpr wchar_t SHORTCUT_DESCRIPTION[] = L"北京霁桐科技";

// The payload cannot be read (a full-width comma).
constexpr wchar_t MESSAGE_DAMAGED[] = L"安装程序已损坏，请重新下载";
// The extraction failed (an ASCII comma).
constexpr wchar_t MESSAGE_FAILED[] = L"安装失败,请重新选择安装路径";

// The folder picker's title.
constexpr wchar_t PICKER_TITLE[] = L"选择安装路径";
