#pragma once

#include "LanguageSwitch.h"

#include <QString>
#include <QStringList>

// The configuration file "conf.txt" (UTF-8, one entry per line):
//   SW:English=1,Chinese=1     languages that may be chosen
//   1.Language                 followed by the language in use
//   Chinese
class ConfigFile
{
public:
    enum Language { Chinese = 0, English = 1 };

    explicit ConfigFile(const QString &path);
    // "conf.txt" in the application directory.
    static QString defaultPath();

    // Reads the language in use and the language switches; writes the file
    // with its defaults when it is missing, and rewrites the language line
    // when the stored language is not allowed by the switches.
    Language readLanguage(LanguageSwitch &sw);
    // Rewrites the language line; false (and a warning) when the file cannot be opened.
    bool writeLanguage(Language language);

    const QString &path() const { return m_path; }

private:
    QString m_path;
};
