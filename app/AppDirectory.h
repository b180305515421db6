#pragma once

#include <QString>

// The folder the program keeps its own files in: "conf.txt", the translation
// "translator/lang_en.qm" and the help document. It is the folder of the
// executable; tests point it at a scratch folder instead.
class AppDirectory
{
public:
    static QString path();
    static QString filePath(const QString &name);
    // Replaces the executable's folder (an empty text restores it).
    static void setOverride(const QString &dir);
};
