// Resource ids of the update agent.
#pragma once

#define IDD_HELP 101
#define IDC_HELP_VERSION 1001
#define IDC_HELP_USAGE 1002

#define IDC_STATUS_TEXT 10
#define IDC_STATUS_BAR 11
