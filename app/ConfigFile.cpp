#include "ConfigFile.h"

#include "AppDirectory.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

namespace {
const QString kSwitchPrefix = QStringLiteral("SW:");
const QString kLanguageLine = QStringLiteral("1.Language");

QString languageWord(ConfigFile::Language language)
{
    return language == ConfigFile::English ? QStringLiteral("English") : QStringLiteral("Chinese");
}

QStringList readLines(QTextStream &in)
{
    QStringList lines;
    while (!in.atEnd())
        lines << in.readLine();
    return lines;
}

void parseSwitches(const QString &line, LanguageSwitch &sw)
{
    const QStringList pairs = line.mid(kSwitchPrefix.size()).split(QLatin1Char(','));
    for (const QString &pair : pairs) {
        const QStringList parts = pair.split(QLatin1Char('='));
        if (parts.size() != 2)
            continue;
        const QString name = parts.at(0).trimmed();
        const bool on = parts.at(1).trimmed().toInt(nullptr, 10) == 1;
        if (name == QLatin1String("English"))
            sw.english = on;
        else if (name == QLatin1String("Chinese"))
            sw.chinese = on;
    }
}

const char *boolText(bool b)
{
    return b ? "true" : "false";
}
} // namespace

ConfigFile::ConfigFile(const QString &path)
    : m_path(path)
{
}

QString ConfigFile::defaultPath()
{
    return AppDirectory::filePath(QStringLiteral("conf.txt"));
}

ConfigFile::Language ConfigFile::readLanguage(LanguageSwitch &sw)
{
    sw.english = true;
    sw.chinese = true;
    Language result = Chinese;

    QFile file(m_path);
    if (!file.exists()) {
        if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
            QTextStream out(&file);
            out.setCodec("UTF-8");
            out << "SW:English=1,Chinese=1\n" << "1.Language\nChinese\n";
        }
    } else if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        in.setCodec("UTF-8");
        const QStringList lines = readLines(in);
        file.close();
        bool languageFound = false;
        for (int i = 0; i < lines.size(); ++i) {
            const QString line = lines.at(i).trimmed();
            if (line.startsWith(kSwitchPrefix)) {
                parseSwitches(line, sw);
            } else if (!languageFound && line.startsWith(kLanguageLine)) {
                languageFound = true;
                if (i + 1 < lines.size()
                    && lines.at(i + 1).trimmed().compare(QLatin1String("English"), Qt::CaseInsensitive) == 0)
                    result = English;
            }
        }
    }

    const bool allowed = result == English ? sw.english : sw.chinese;
    if (!allowed) {
        const Language stored = result;
        const bool otherAllowed = result == English ? sw.chinese : sw.english;
        if (otherAllowed) {
            result = result == English ? Chinese : English;
        } else {
            sw.chinese = true;
            result = Chinese;
        }
        if (result != stored)
            writeLanguage(result);
    }

    qDebug() << "Current language:" << int(result);
    qDebug() << "SW Status - English:" << boolText(sw.english) << "Chinese:" << boolText(sw.chinese);
    return result;
}

bool ConfigFile::writeLanguage(Language language)
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Text)) {
        qWarning() << "Cannot open config file";
        return false;
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    QStringList lines = readLines(stream);

    const QString word = languageWord(language);
    int at = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().startsWith(kLanguageLine)) {
            at = i;
            break;
        }
    }
    if (at < 0)
        lines << kLanguageLine << word;
    else if (at + 1 < lines.size())
        lines[at + 1] = word;
    else
        lines << word;

    file.resize(0);
    stream.seek(0);
    for (const QString &line : lines)
        stream << line << "\n";
    stream.flush();
    return true;
}
