#pragma once
// Results of the modal dialogs; callers of ConfirmAction test for mrOk.
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrIgnore = 5 };
