// Resource ids of the value-queue tool.
#pragma once

#define IDI_DKGETVAL 101
#define IDD_ENTRY 102
#define IDC_ENTRY_TEXT 1000
