// Resource ids of the About box (dialog template and its two link controls).
// Plain #defines because the resource compiler includes this file too.
#pragma once

#define IDD_ABOUTBOX 100
#define IDC_MAIL_LINK 1015
#define IDC_WEB_LINK 1016
