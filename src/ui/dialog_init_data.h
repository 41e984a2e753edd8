// The initial data of dialog controls, a resource of the dialog template's
// id: the resource script writes it, CDialog fills combo box lists from it.
#pragma once

// Resource type of that data.
#define RT_DIALOG_INIT_DATA 240
// Record code in that data: add a string to a combo box's list.
#define DLGINIT_CB_ADDSTRING 0x0403
