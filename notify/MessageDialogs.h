#pragma once
// Modal messages and questions in the program's own look. Each returns when the user has
// closed the window.
#include <QString>

void ShowInfoMessage(const QString& Text, const QString& Caption);
void ShowErrorMessage(const QString& Text);
// mrOk for "Да" and Enter, mrCancel for "Нет", Esc and the close button. A blank question
// reads "Подтвердите операцию".
int ConfirmAction(const QString& Text = {});
