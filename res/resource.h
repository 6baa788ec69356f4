/* Resource ids of the installer executable; shared by installer.rc and the C++ code. */
#ifndef INSTALLER_RESOURCE_H
#define INSTALLER_RESOURCE_H

#define IDD_INSTALLER 102 /* main window: borderless popup dialog, no controls */

#define IDI_APP 128 /* application icon, 90 x 90, 32 bpp */

#define IDB_BACKGROUND     130 /* 600 x 400: banner (rows 0-304) over the RGB(235,235,235) panel */
#define IDB_BUTTON         134 /* 114 x 40: install button, normal */
#define IDB_PROGRESS_FILL  138 /* 556 x 20: progress bar, filled part */
#define IDB_PROGRESS_TRACK 139 /* 556 x 20: progress bar, empty track */
#define IDB_CLOSE          140 /* 18 x 18: close box, drawn at (565, 10) */
#define IDB_MINIMIZE       141 /* 19 x 19: minimise box, drawn at (535, 10) */
#define IDB_BUTTON_PRESSED 142 /* 115 x 40: install button, pressed */
#define IDB_CHECK_ON       143 /* 20 x 21: check box, ticked */
#define IDB_CHECK_OFF      144 /* 20 x 21: check box, empty */

#define IDR_PAYLOAD_READER 200 /* RCDATA: PAYLOAD_READER_MARK, the payload formats this image reads */

#endif /* INSTALLER_RESOURCE_H */
