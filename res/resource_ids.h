// Resource, control and command IDs shared by portolan.rc and the C++ code.
#ifndef PORTOLAN_RESOURCE_IDS_H
#define PORTOLAN_RESOURCE_IDS_H

// Dialog templates.
#define IDD_MAIN                        101
#define IDD_ABOUT                       102

// Menu of the main dialog.
#define IDR_MAIN_MENU                   103

// Application icon group (16, 32 and 48 pixels).
#define IDI_PORTOLAN                    105

// Bitmaps: the about picture (103 x 65, 256 colours) and the tree image
// strip (six 16 x 16 images, 16 colours, pure green transparent).
#define IDB_ABOUT                       112
#define IDB_TREE_IMAGES                 118

// Keyboard accelerators.
#define IDR_ACCELERATORS                113

// The help file, RCDATA in German.
#define IDR_HELP_FILE                   115

// Controls of the main dialog.
#define IDC_DEVICE_TREE                 1000
#define IDC_STATUS_BAR                  1002
#define IDC_VENDOR_ID                   1003
#define IDC_PRODUCT_ID                  1004
#define IDC_VENDOR_NAME                 1005
#define IDC_PRODUCT_NAME                1006
#define IDC_SPEED_BAR                   1007
#define IDC_SPEED_NAME                  1008
#define IDC_PANEL_FRAME                 1009
#define IDC_BULK_TRANSFERS              1010
#define IDC_INTERRUPT_TRANSFERS         1011
#define IDC_ISOCHRONOUS_TRANSFERS       1012
#define IDC_CONTROL_TRANSFERS           1013
#define IDC_CONFIGURATION_COUNT         1014
#define IDC_SERIAL_NUMBER               1015
#define IDC_PNP_INSTANCE_ID             1019

// Control of the about box: the "%dbit-Version" line.
#define IDC_BIT_VERSION                 1020

// Menu and accelerator commands.
#define IDM_EXIT                        40001
#define IDM_REFRESH                     40002
#define IDM_AUTO_REFRESH                40003
#define IDM_ABOUT                       40005
#define IDM_UNUSED_PORTS                40008
#define IDM_UNUSED_CONTROLLERS          40010
#define IDM_ADVICE_WINDOW               40013
#define IDM_CYCLE_PORT                  40014

#ifndef RC_INVOKED

// Geometry and mask colour of the tree image strip IDB_TREE_IMAGES; the
// meaning of each index is TreeImage in tree/tree_node_info.h.
inline constexpr int TreeImageSize = 16;
inline constexpr int TreeImageCount = 6;
inline constexpr int TreeImageGrowBy = 8;
inline constexpr unsigned long TreeImageMaskColour = 0x00FF00UL;   // RGB(0, 255, 0)

// Language of every resource: German (Germany), 0x0407.
inline constexpr unsigned short ResourceLanguage = 0x0407;

#endif  // RC_INVOKED

#endif  // PORTOLAN_RESOURCE_IDS_H
