// The window's own texts, exactly as they are shown.
#pragma once

constexpr wchar_t TEXT_TITLE[] = L"霁桐智能餐饮";
constexpr wchar_t TEXT_FONT_FACE[] = L"宋体";
constexpr wchar_t TEXT_INSTALL_BUTTON[] = L"一键安装";
// The lower panel's directory line: this, then the directory (a full-width colon).
constexpr wchar_t TEXT_DIR_LINE_LEAD[] = L"安装路径：";
constexpr wchar_t TEXT_CHANGE_PATH[] = L"更改路径";
// Stands for the middle of a directory too long for its line.
constexpr wchar_t TEXT_ELLIPSIS[] = L"…";
constexpr wchar_t TEXT_AGREEMENT_LEAD[] = L"我已阅读并同意";
constexpr wchar_t TEXT_AGREEMENT_LINK[] = L"许可协议";
// The progress screen's text: this, then the percentage with one decimal and "%", as in "正在安装 42.5%".
constexpr wchar_t TEXT_PROGRESS_LEAD[] = L"正在安装 ";

// The agreement page on the vendor's site.
constexpr wchar_t AGREEMENT_URL[] = L"http://www.jitong-pos.example/?c=about&id=32";
