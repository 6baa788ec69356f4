// The product's fixed file names, as the payload stores them (code page 936 bytes); the text each stands for is beside
// it.
#pragma once

// 霁桐收银端.exe: the cashier program, at the top of the payload; always linked and launched (maximised).
constexpr char CASHIER_PROGRAM[] = "\xf6\xab\xcd\xa9\xca\xd5\xd2\xf8\xb6\xcb.exe";
// 霁桐餐饮服务.exe: the service program, at the top of the payload; linked and launched only when the
// payload's option bits say so.
constexpr char SERVICE_PROGRAM[] = "\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb\xb7\xfe\xce\xf1.exe";

// 霁桐餐饮: the folder the installer proposes under Program Files, and its length in UTF-16 units.
constexpr char PRODUCT_DIR_NAME[] = "\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb";
constexpr int PRODUCT_DIR_NAME_UNITS = 4;
static_assert(sizeof PRODUCT_DIR_NAME - 1 == 2 * PRODUCT_DIR_NAME_UNITS, "four double-byte characters");
