#pragma once

#include "DiaryIdentity.h"
#include "DiskCopies.h"
#include "Exceptions.h"
#include "YearFile.h"
#include "YearFileDisk.h"
#include "YearMerge.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The diary store: the texts of one calendar year, its preamble, the settings list and the
// rejected lines of its year file. Asking for a day of another year switches years: the year
// it leaves is saved when that is due, then the other year's file is read.
//
// Texts, settings and error data are CP932 bytes and are never converted here. Paths are
// QStrings; a non-empty BaseDir always ends in "/".
class TKivDiary : public QObject {
    Q_OBJECT
    // In the order in which a window's layout sets them.
    Q_PROPERTY(QString BaseDir READ BaseDir WRITE SetBaseDir)
    Q_PROPERTY(QString Prefix READ Prefix WRITE SetPrefix)
    Q_PROPERTY(QString Ext READ Ext WRITE SetExt)
    Q_PROPERTY(int Year READ Year WRITE SetYear)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(bool AutoSave READ AutoSave WRITE SetAutoSave)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(bool DayName READ DayName WRITE SetDayName)

public:
    explicit TKivDiary(QObject *owner = nullptr);
    ~TKivDiary() override;

    // Day texts; both need an active store and may switch years.
    QByteArray GetDayText(double date);
    void SetDayText(double date, const QByteArray &text);

    // The settings list of the loaded year file: NAME=value lines, names without regard to case.
    QByteArray GetSetting(const QByteArray &name) const;
    void SetSetting(const QByteArray &name, const QByteArray &value);
    void MarkModified();

    void Open();
    // Throws what Open throws for a folder that is not there (an empty one is the current folder).
    static void CheckFolder(const QString &baseDir);
    void Close();

    int IndexOfDate(double date) const;
    void SortDays();

    // The year file: BaseDir + FileName.
    void LoadFile();
    void SaveFile();
    // What SaveWhenDue did. It throws what SaveFile throws.
    using TSaveOutcome = TYearSaveOutcome;
    // Saves the year file when AutoSave is on, the store is modified and active: the rule of
    // the year switch, the final save and every other save that is not asked for by the user.
    TSaveOutcome SaveWhenDue();
    // The last save, also made by the destructor when it was not made before: SaveWhenDue with
    // a failure reported (ShowMessage) instead of thrown. False when the year's text could not
    // be written. The store saves nothing by itself afterwards.
    bool FinalSave();
    static QByteArray EscapeText(const QByteArray &text);
    // Whether a day's text is still there once saved: the year file keeps no blanks or control
    // characters at the end of a text, so a text of nothing else is gone.
    static bool HoldsText(QByteArrayView text);
    static QByteArray UnescapeText(const QByteArray &text);
    static bool ParseHeader(const QByteArray &line, double &version, quint16 &year);
    // Asked before every write of a year file, with the full path of its data folder as the
    // path names it at that moment: false writes nothing and keeps the year unsaved. The
    // programs hold the data folder's lock through it.
    static std::function<bool(const QString &folder)> FolderGuard;

    // Properties.
    const QString &BaseDir() const { return FBaseDir; }
    void SetBaseDir(const QString &value);
    const QString &Prefix() const { return FPrefix; }
    void SetPrefix(const QString &value);
    const QString &Ext() const { return FExt; }
    void SetExt(const QString &value);
    int Year() const { return FYear; }
    void SetYear(int value);
    const QString &FileName() const { return FFileName; }
    void SetFileName(const QString &value);
    bool AutoSave() const { return FAutoSave; }
    void SetAutoSave(bool value) { FAutoSave = value; }
    bool Active() const { return FActive; }
    void SetActive(bool value);
    bool DayName() const { return FDayName; }
    void SetDayName(bool value) { FDayName = value; }

    // Read-only views for the window, the command-line tool and tests.
    bool Modified() const { return FModified; }
    // The loaded year's entries: none before a year was read, else entry 0 the preamble (day
    // number 0), then the days in the store's order.
    class TEntries {
    public:
        size_t size() const { return FContents ? FContents->Days.size() + 1 : 0; }
        bool empty() const { return !FContents; }
        const TDayText *operator[](size_t i) const
        {
            return i == 0 ? &FPreamble : &FContents->Days[i - 1];
        }
        struct TIterator {
            const TEntries *Entries;
            size_t Index;
            const TDayText *operator*() const { return (*Entries)[Index]; }
            TIterator &operator++()
            {
                ++Index;
                return *this;
            }
            bool operator==(const TIterator &) const = default;
        };
        TIterator begin() const { return { this, 0 }; }
        TIterator end() const { return { this, size() }; }

    private:
        friend class TKivDiary;
        explicit TEntries(const TYearContents *contents)
            : FContents(contents)
            , FPreamble(contents ? contents->Preamble : QByteArray(), 0)
        {
        }
        const TYearContents *FContents;
        TDayText FPreamble;
    };
    TEntries Days() const { return TEntries(FLoaded ? &FContents : nullptr); }
    const QList<QByteArray> &Settings() const { return FContents.Settings; }
    const QByteArray &ErrorData() const { return FContents.ErrorData; }
    // The year as it would be written now (the days in the store's order).
    const TYearContents &Contents() const { return FContents; }
    // What the store knows of the year's earlier texts; its Base is the year file as the store
    // last read or wrote it.
    const TYearMemory &Memory() const { return FDiskFile.Memory(); }
    // The diary's identity as the data folder named it when the store was opened (empty when
    // the folder takes no file), and where this machine keeps what it knows of its years
    // (DiaryStateFolder() + "memory/" unless set; tests give each machine its own).
    const QByteArray &Identity() const { return FIdentity; }
    void SetMemoryRoot(const QString &root) { FMemoryRoot = root; }
    QString FilePath() const { return FBaseDir + FFileName; }
    // Non-empty while the current year's file could not be read: the message of that failure.
    // Such a year is never written, and its day texts cannot be read or written.
    const QString &LoadError() const { return FLoadError; }

    // Another program may change the year file while the diary holds it (a sync tool, a text
    // editor). The store remembers what it last read or wrote there; CheckFile compares the
    // file with that, ReloadFile reads the other version in place of what the store holds.
    // Neither throws, and both do nothing while a load or save is under way (a message box
    // shown by it lets events run) or the store is inactive.
    using TDiskChange = TYearFileDisk::TChange;
    TDiskChange CheckFile();
    // False when nothing was read: the file does not read as this year's (said once per
    // version of the file) or the store is busy; what the store holds then stays.
    bool ReloadFile();
    bool Busy() const { return FBusy > 0; }
    // Modified by more than the load itself (which marks a year with rejected lines modified,
    // so that they are written back in their block): by an edit, a setting or MarkModified.
    bool Unsaved() const { return FModified && !FModifiedByLoad; }

    // The one way text from elsewhere comes into the year (a conflict copy, a conflict file, the
    // recovery file, an import; the save and the reload use the same merge): the rules are
    // those of MergeYears, with what the store knows of the year's earlier texts. What is known
    // of the other version's own past goes in 'known' (a recovered text's edited-from text);
    // nothing known means a version from elsewhere whose absent days were never seen there.
    // The store is modified when anything came in. Throws as a day access does.
    TYearMerge TakeInVersion(const TYearContents &other, const TOtherVersion &known = {});
    // A conflict copy (a sync engine's or the diary's own) taken in: decided three-way against
    // the version this machine agreed with that the copy grew from, where it shows one.
    TYearMerge TakeInCopy(const TYearContents &copy);
    // Whether the year holds every text of 'other' already: taking it in would change nothing.
    bool HoldsVersion(const TYearContents &other);

signals:
    // After a year file was read successfully by a load (also when it did not exist yet): the
    // first read of a year since it was opened or switched to.
    void Loaded();
    // After ReloadFile read another version of the same year's file in place of the store's.
    void Reloaded();
    // After the year file was written successfully; FilePath() still names it.
    void Saved();
    // After texts of another version came into the store by a merge (a save that met another
    // version on disk, or TakeInVersion): the days may differ from what is shown.
    void Merged();

private:
    // SetDayText for a text whose line breaks are all CR LF already, as the reader builds them;
    // true when the store changed.
    bool StoreDayText(double date, const QByteArray &text);
    // SaveFile, telling what it did. A year file that cannot be written throws, with the year
    // kept in a file of the user's own (named in the message) when that can be written.
    TSaveOutcome WriteYear();
    TSaveOutcome WriteYearFileInPlace();
    std::optional<QString> RescueYear();
    void SwitchYear(int year);
    void SwitchToYearOf(double date);
    void CheckDayAccess(double date);
    void RecomputeFileName();
    void ClearDays();
    qsizetype IndexOfSetting(const QByteArray &name) const;
    // A year read whole in place of what the store holds: all of it or, when it throws, nothing.
    void TakeContents(TYearContents &&contents);
    // Checks for TakeInVersion and HoldsVersion; the store as it would be written.
    TYearContents OwnForMerge();
    TYearFilePlace Place() const;

    QString FBaseDir;
    bool FModified = false;
    int FYear = 0;
    QString FFileName;
    bool FActive = false;
    bool FAutoSave = true;
    // The year as read, edited and taken in; its preamble and days count once a year was read.
    TYearContents FContents;
    bool FLoaded = false;
    QString FPrefix;
    QString FExt;
    bool FDayName = true;
    QString FLoadError;
    bool FModifiedByLoad = false;
    int FBusy = 0;
    // The year file as the store last read or wrote it, and what it knows of the year's earlier
    // texts there.
    TYearFileDisk FDiskFile;
    QByteArray FIdentity;
    QByteArray FFolderAtOpen;
    QString FMemoryRoot;
    // Whether the folder at BaseDir is still the diary the store opened; a folder that lost its
    // identity file in place is given it again.
    bool FolderIsThisDiary();
    QString MemoryPath() const;
};
