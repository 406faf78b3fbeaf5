#include "tabrill/assoc/TExtbinder.h"

#include "platform/ini/AnsiCodePage.h"
#include "platform/ini/MemIniFile.h"
#include "platform/shell/CommandLine.h"
#include "platform/shell/ShellExecute.h"
#include "tabrill/app/Ttempfile.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
const QString SectionExt = u"EXT"_s;
const QString SectionTask = u"TASK"_s;

constexpr int TaskRegister = 1;
constexpr int TaskRemove = 2;

// The task goes out in the ANSI code page; a text that code page cannot hold (a path in another
// script, say) would arrive as "?", so such a file is written in UTF-8 with its mark instead,
// which the reader recognises.
void WriteTask(TMemIniFile& ini)
{
    const QString text = ini.ToText();
    if (Platform::AnsiToUnicode(Platform::UnicodeToAnsi(text)) != text)
        ini.SetEncoding(TMemIniFile::TEncoding::Utf8);
    ini.UpdateFile();
}
} // namespace

void ExtLink(QWidget* owner, const QString& ext, const QString& fileType, int iconIndex)
{
    const QString program = QCoreApplication::applicationFilePath();
    const TTempFile taskFile;
    {
        TMemIniFile ini(taskFile.GetFileName());
        ini.WriteString(SectionExt, u"EXT"_s, ext);
        ini.WriteInteger(SectionTask, u"CLOSE"_s, 1);
        ini.WriteString(SectionExt, u"COMMAND"_s, u'"' + program + u"\" \"%1\""_s);
        ini.WriteString(SectionExt, u"FILE_TYPE"_s, fileType);
        ini.WriteString(SectionExt, u"ICON_FILE"_s, program);
        ini.WriteInteger(SectionExt, u"ICON_INDEX"_s, iconIndex);
        ini.WriteInteger(SectionTask, u"COMMAND"_s, TaskRegister);
        WriteTask(ini);
    }
    RunExtbinder(taskFile.GetFileName(), owner);
}

void ExtUnlink(QWidget* owner, const QString& ext)
{
    const TTempFile taskFile;
    {
        TMemIniFile ini(taskFile.GetFileName());
        ini.WriteString(SectionExt, u"EXT"_s, ext);
        ini.WriteInteger(SectionTask, u"CLOSE"_s, 1);
        ini.WriteInteger(SectionTask, u"COMMAND"_s, TaskRemove);
        WriteTask(ini);
    }
    RunExtbinder(taskFile.GetFileName(), owner);
}

void RunExtbinder(const QString& taskFile, [[maybe_unused]] QWidget* owner)
{
    const QString folder = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
    Platform::ShellExecuteInfo info;
    info.mask = Platform::SEE_MASK_NOCLOSEPROCESS;
    info.verb = u"open"_s;
    info.file = folder + u'/' + ExtbinderFileName();
    // Quoted so that a path with blanks arrives as one argument.
    info.parameters = Platform::QuoteArgument(taskFile);
    if (Platform::ShellExecuteEx(info) && info.instApp > 32 && info.process)
        info.process->WaitForExit();
}
