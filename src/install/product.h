// The product's fixed names and user texts, as code page 936 bytes; the text each stands for is beside it.
#pragma once

#include "payload/product_files.h"  // CASHIER_PROGRAM and SERVICE_PROGRAM

// 霁桐餐饮.lnk and 霁桐收银端.lnk: their desktop shortcuts.
constexpr char SERVICE_SHORTCUT[] = "\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb.lnk";
constexpr char CASHIER_SHORTCUT[] = "\xf6\xab\xcd\xa9\xca\xd5\xd2\xf8\xb6\xcb.lnk";

// 北京霁桐科技: the comment of both shortcuts.
constexpr char SHORTCUT_DESCRIPTION[] = "\xb1\xb1\xbe\xa9\xf6\xab\xcd\xa9\xbf\xc6\xbc\xbc";

// 安装程序已损坏，请重新下载 (full-width comma A3 AC): the payload cannot be read.
constexpr char MESSAGE_DAMAGED[] =
    "\xb0\xb2\xd7\xb0\xb3\xcc\xd0\xf2\xd2\xd1\xcb\xf0\xbb\xb5\xa3\xac\xc7\xeb\xd6\xd8\xd0\xc2\xcf\xc2\xd4\xd8";
// 安装失败,请重新选择安装路径 (ASCII comma): the extraction failed.
constexpr char MESSAGE_FAILED[] =
    "\xb0\xb2\xd7\xb0\xca\xa7\xb0\xdc,\xc7\xeb\xd6\xd8\xd0\xc2\xd1\xa1\xd4\xf1\xb0\xb2\xd7\xb0\xc2\xb7\xbe\xb6";

// 选择安装路径: the folder picker's title.
constexpr char PICKER_TITLE[] = "\xd1\xa1\xd4\xf1\xb0\xb2\xd7\xb0\xc2\xb7\xbe\xb6";
