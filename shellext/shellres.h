// Resource numbers of the shell extension.
#ifndef TESSEL_SHELLRES_H
#define TESSEL_SHELLRES_H

#define IDD_ICON_PLACEMENT 307
#define IDC_PLACE_DESKTOP  1019
#define IDC_PLACE_COMPUTER 1022

#endif
