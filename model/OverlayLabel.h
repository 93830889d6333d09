#pragma once
// The text a user gives a zone, ruler or point distance, made safe for the data file: its
// header and the analysis split lines at spaces, so every whitespace character becomes "_".
// Shared by the window and pondwatch-cli so both write the same labels. GUI-free.

#include <QString>

class OverlayLabel
{
public:
    static QString fromUserText(const QString &text);
};
