#pragma once
// The text a user gives a zone, ruler or point distance, made safe for the data file: its
// header and the analysis split lines at spaces, so every whitespace character becomes "_".
// Shared by the window and pondwatch-cli so both write the same labels. GUI-free.

#include <QString>

class OverlayLabel
{
public:
    static QString fromUserText(const QString &text);
    // Why `label` (already through fromUserText) cannot name an overlay in a data file: empty,
    // or a word that begins one of the file's own lines ("Seconds", "Time", "Detection:"),
    // which would make its caption line read as that line and hide every zone from the
    // readers. Empty when it can.
    static QString problem(const QString &label);
};
