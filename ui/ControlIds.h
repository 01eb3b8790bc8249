#pragma once
// Child window ids of the main window, in the controls' declaration order. The
// end-to-end tests find controls by them.

enum TForm1ControlId : int {
    idBtnReadRegCategories = 100,
    idBtnTAVtoOL,
    idBtnOLtoTAV,
    idBtnSyncOLandTAV,
    idLabel1,
    idBtnClose,
    idMemoReg,
    idMemoPst,
    idLabelOlVersion,
    idLabelNoPstUsed,
    idLabel2,
    idLabel3,
    idLabel4,
    idLabel5,
    idLabel6,
    idLabel7,
    idlbVersion,
    idStoreChooser,
    idLabelRegLacks,
    idLabelPstLacks,
};
