// The product's fixed names and the installation's texts, exactly as the user sees them.
#pragma once

// CASHIER_PROGRAM, SERVICE_PROGRAM and PRODUCT_DIR_NAME, as the payload stores them (code page 936); the
// installation converts them from code page 936 where it uses them rather than keeping a second copy.
#include "product/product_files.h"

// Their desktop shortcuts.
constexpr wchar_t SERVICE_SHORTCUT[] = L"霁桐餐饮.lnk";
constexpr wchar_t CASHIER_SHORTCUT[] = L"霁桐收银端.lnk";

// The comment of both shortcuts.
constexpr wchar_t SHORTCUT_DESCRIPTION[] = L"北京霁桐科技";

// The payload cannot be read (a full-width comma).
constexpr wchar_t MESSAGE_DAMAGED[] = L"安装程序已损坏，请重新下载";
// The extraction failed (an ASCII comma).
constexpr wchar_t MESSAGE_FAILED[] = L"安装失败,请重新选择安装路径";

// The second line of a failure's box, saying why (failure_reason.h); %ls a path or a drive, %.1f megabytes.
constexpr wchar_t REASON_PATH_TOO_LONG[] = L"路径太长，Windows 无法创建：%ls";
constexpr wchar_t REASON_IN_THE_WAY[] = L"同名的文件或文件夹挡住了安装：%ls";
constexpr wchar_t REASON_NO_ROOM[] = L"磁盘空间不足：%ls 需要 %.1f MB，只有 %.1f MB 可用";
constexpr wchar_t REASON_NOT_WRITABLE[] = L"无法在此文件夹中创建文件：%ls（%ls）";
constexpr wchar_t REASON_CANNOT_REPLACE[] = L"无法替换文件：%ls（%ls）";
constexpr wchar_t REASON_WRITE[] = L"无法写入文件：%ls（%ls）";
constexpr wchar_t REASON_DAMAGED[] = L"安装数据已损坏，请重新下载安装程序";
constexpr wchar_t REASON_UNDECODABLE[] = L"安装数据无法解压：数据已损坏，或内存不足";
// The system's error in those lines; %d the error's number.
constexpr wchar_t CAUSE_HELD[] = L"文件正被其他程序使用";
constexpr wchar_t CAUSE_DENIED[] = L"没有权限";
constexpr wchar_t CAUSE_FULL[] = L"磁盘已满";
constexpr wchar_t CAUSE_TOO_LONG[] = L"路径太长";
constexpr wchar_t CAUSE_OTHER[] = L"错误代码 %d";
// The Retry/Cancel box for files that other programs hold: %ls the programs, or the files one a line.
constexpr wchar_t QUESTION_HELD_BY[] = L"以下程序正在使用要替换的文件：%ls\n请关闭它后点击“重试”，或点击“取消”返回。";
constexpr wchar_t QUESTION_FILES_HELD[] =
    L"以下文件正被其他程序使用：\n%ls\n请关闭使用它的程序后点击“重试”，或点击“取消”返回。";

// The folder picker's title.
constexpr wchar_t PICKER_TITLE[] = L"选择安装路径";
