// Resource ids of the About box (dialog template and its two link controls) and the maker's
// name and addresses, shown by the box and opened by its links. Plain #defines because the
// resource compiler includes this file too. The addresses lie under the reserved ".example"
// domain until the project has a domain of its own.
#pragma once

#define VX_MAKER_NAME "Vantry team"
#define VX_MAKER_MAIL "team@vantry.example"
#define VX_MAKER_WEB "www.vantry.example"

#define IDD_ABOUTBOX 100
#define IDC_MAIL_LINK 1015
#define IDC_WEB_LINK 1016
