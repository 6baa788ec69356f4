// The window's own texts, as code page 936 bytes (the UTF-8 text in each comment).
#pragma once

#define TEXT_TITLE "\xf6\xab\xcd\xa9\xd6\xc7\xc4\xdc\xb2\xcd\xd2\xfb"                                  // 霁桐智能餐饮
#define TEXT_DEFAULT_DIR_FORMAT "%s\\\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb\\"                               // %s\霁桐餐饮\ .
#define TEXT_FONT_FACE "\xcb\xce\xcc\xe5"                                                              // 宋体
#define TEXT_INSTALL_BUTTON "\xd2\xbb\xbc\xfc\xb0\xb2\xd7\xb0"                                         // 一键安装
#define TEXT_DIR_LINE_FORMAT "\xb0\xb2\xd7\xb0\xc2\xb7\xbe\xb6\xa3\xba%s"                              // 安装路径：%s
#define TEXT_CHANGE_PATH "\xb8\xfc\xb8\xc4\xc2\xb7\xbe\xb6"                                            // 更改路径
#define TEXT_AGREEMENT_LEAD "\xce\xd2\xd2\xd1\xd4\xc4\xb6\xc1\xb2\xa2\xcd\xac\xd2\xe2"                 // 我已阅读并同意
#define TEXT_AGREEMENT_LINK "\xd0\xed\xbf\xc9\xd0\xad\xd2\xe9"                                         // 许可协议
#define TEXT_PROGRESS_FORMAT "\xd5\xfd\xd4\xda\xb0\xb2\xd7\xb0 %.1f%s"                                 // 正在安装 %.1f%s

// The agreement page on the vendor's site.
#define AGREEMENT_URL "http://www.jitong-pos.example/?c=about&id=32"
