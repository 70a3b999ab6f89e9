// The sentences the setup program and the uninstaller show their user, in one
// table: error messages of every layer, the reasons listed beside items that
// could not be installed, and the changes a rollback could not undo. Every
// text is GBK Chinese in the voice of the programs' own windows; names and
// paths go in as GBK text and come out between “ and ”. Fixed captions of
// the forms stay with their forms; the package maker's own messages and the
// sandbox's contract files stay English, for authors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace setup::msg {

// ---- what a reader was reading ------------------------------------------------
// The names damage messages give the object whose bytes ran out; the stream
// readers take them as their `what`.

inline constexpr char kWhatStream[] = "数据流";
inline constexpr char kWhatSourceStream[] = "源数据流";
inline constexpr char kWhatPackage[] = "安装包";
inline constexpr char kWhatPackageTail[] = "安装包尾部";
inline constexpr char kWhatProjectStream[] = "安装包的项目流";
inline constexpr char kWhatSignedProgram[] = "已签名的安装程序";
inline constexpr char kWhatCompressedFile[] = "压缩文件";
inline constexpr char kWhatUninstallRecord[] = "安装日志文件";
inline constexpr char kWhatProfileFile[] = "配置文件";
inline constexpr char kWhatRegistryFile[] = "注册表文件";

// ---- streams ------------------------------------------------------------------

// A read of `count` bytes at `offset` with only `left` bytes before the end.
std::string UnexpectedEnd(const std::string& what, uint64_t count, int64_t offset, int64_t left);
// A read that found no more bytes at `offset`, though the size promised them.
std::string UnexpectedEndAt(const std::string& what, int64_t offset);
std::string CannotSeekBeforeStart();
std::string NegativeStreamSize();
std::string CannotWriteReadOnlyStream();
std::string CannotResizeReadOnlyStream();

// ---- the program and its errors -----------------------------------------------

// The platform was asked for before any program entry set it.
std::string NoActivePlatform();
// The message of the silent abort: the user cancelled (or refused the
// elevation prompt). Shown only where the entry reports it.
std::string OperationCancelled();
// What the error box says for a decompression or compression failure, whose
// own message is the bare "error" the codecs raise.
std::string DataDoesNotInflate();
std::string DataDoesNotCompress();
// The allocation of memory failed.
std::string OutOfMemory();

// ---- command-line switches ----------------------------------------------------

// /D= followed by something that is not a full folder path.
std::string SwitchNeedsFullPath(const std::string& folder);
std::string SwitchLogNamesNoFile();
// A "/LOG=" file given relative to the current folder.
std::string SwitchLogNeedsFullPath(const std::string& file);
// How many arguments were given that are none of the switches.
std::string OtherArgumentsCount(size_t count);

// ---- files of the machine -----------------------------------------------------
// `reason` is the system's own message (or one of the reasons below); an empty
// reason leaves the sentence without it.

std::string CannotOpenFile(const std::string& path, const std::string& reason);
std::string CannotOpenFileForWriting(const std::string& path, const std::string& reason);
std::string CannotCreateFile(const std::string& path, const std::string& reason);
// The reason a file is not made where its path goes through a junction or
// symbolic link (link names that level).
std::string PathGoesThroughLink(const std::string& link);
std::string CannotReadFile(const std::string& path, const std::string& reason);
std::string CannotWriteFile(const std::string& path, const std::string& reason);
std::string CannotSeekInFile(const std::string& path, const std::string& reason);
std::string CannotReadFileSize(const std::string& path, const std::string& reason);
std::string CannotSetFileSize(const std::string& path, const std::string& reason);
std::string CannotMoveFile(const std::string& from, const std::string& to, const std::string& reason);
std::string CannotReadProgramPath(const std::string& reason);
// A call of the shell's automation objects (`operation`, such as
// "ParseName") that failed.
std::string ShellAutomationFailed(const std::string& operation, const std::string& reason);
// A system error without a message text of its own.
std::string SystemErrorCode(uint32_t code);

// The reasons of the simulated machine, worded as Windows words them.
std::string AccessDenied();
std::string FileInUse();
std::string FileNotFound();
std::string PathNotFound();
std::string FileExists();
std::string DiskFull();
std::string NotSameDrive();
std::string IsAFolder();
std::string NameTooLong();
std::string PathNotGbk();
std::string PathNotAbsolute();
std::string DriveMissing(const std::string& drive);
std::string NameNotAllowed(const std::string& name);

// ---- text conversion ----------------------------------------------------------

std::string GbkToUtf16Conversion();
std::string Utf16ToGbkConversion();
// `conversion` is one of the two above.
std::string TextDoesNotConvert(const std::string& conversion);
std::string NoTextConverter(const std::string& conversion);

// ---- the package reader -------------------------------------------------------
// Shared by the setup program and the package maker. The messages of damage
// begin with the damaged object, so that they read alone.

std::string ChunkLengthPastEnd(const std::string& what, int64_t offset);
std::string ChunkLongerThanRest(const std::string& what, int64_t offset, uint64_t length, int64_t remaining);
std::string ChunkInflatesPastTotal(const std::string& what, int64_t offset, int64_t total);
std::string BlockInflatesPastLimit(uint64_t limit);
// The security directory of a signed program, and what is wrong with the
// certificate table it names (`problem`, one of the five below).
std::string SecurityDirectoryLies(const std::string& problem);
std::string CertificateTableEmpty();
std::string CertificateTableInHeaders();
std::string CertificateTablePastEnd(int64_t offset, int64_t length, int64_t fileSize);
std::string CertificateEntryCutShort();
std::string CertificateEntryClaims(int64_t offset, int64_t length);
std::string CertificateEntryNoCertificate(int64_t offset);
std::string NoTailBeforeCertificates(int64_t offset);
// Bytes after the certificate table, which the signature does not cover.
std::string DataPastCertificates(int64_t tableEnd, int64_t count);
// An item whose data reaches past `signedEnd`, where the signed bytes end.
std::string ItemDataPastSignature(const std::string& source, int64_t dataEnd, int64_t signedEnd);
std::string PackageIdNotGuid(const std::string& id);
std::string FileTooShortForTail(const std::string& name);
// An installation asked of a model that holds no open package file.
std::string PackageFileNotOpen();
// An uninstall record file larger than any installation writes.
std::string RecordTooLarge(const std::string& path, int64_t size, int64_t most);
std::string ProjectOffsetOutside(int64_t offset);
std::string ProjectStreamDoesNotInflate();
std::string ItemDataDoesNotInflate(const std::string& source);
std::string ItemInflatesToOtherSize(const std::string& source, int64_t inflated, int64_t expected);
std::string TailPromisesOtherSize(int64_t promised, int64_t held);
std::string ItemDataOutside(int64_t start, int64_t end, int64_t size);
// A "Patch" value that is no boolean text. Kept in English, word for word:
// readers of the stream and their tests know the failure by this message.
std::string NotABooleanValue(const std::string& text);

// ---- installing ---------------------------------------------------------------
// Reasons listed beside an item that could not be installed; the item (path,
// key or component) is listed on its own line above its reason.

std::string CannotCreateFolder(const std::string& folder);
std::string FileDataDoesNotInflate();
std::string CannotCreateRegistryKey();
std::string CannotOpenOrCreateRegistryKey();
std::string CannotWriteRegistryValue();
std::string CannotSaveShortcut();
std::string CannotSaveInternetShortcut();
std::string CannotStartRegistration();
std::string CannotStartServiceInstall();
std::string CannotWriteAutoRun();
std::string ProgramNotStartedElevationRefused();
std::string CannotStartProgram();
std::string CannotStartComponentInstaller(const std::string& program);
std::string CannotCopyComponentFile(const std::string& file, const std::string& component);
// A copy destination with a "..", a drive or share after the system folder's
// macro, or naming a root: nothing is copied for it.
std::string ComponentDestinationRefused(const std::string& file, const std::string& component);

// Errors that end an installation (and undo it).
// The folder the setup resources are extracted to exists already or cannot be made.
std::string CannotCreateTempFolder(const std::string& folder);
std::string RegistrationElevationRefused(const std::string& path);
std::string CannotKeepCopyOfFile(const std::string& path);
// A value of the program list's uninstall entry (or the record's digest).
std::string CannotWriteUninstallValue(const std::string& name);

// ---- the changes a rollback could not undo ------------------------------------
// One line each below "未能撤销的更改：". Registry paths begin with their
// root's name; a value's path ends with its name, "(默认)" for the default.

std::string UndoneFolderCreated(const std::string& path);
std::string UndoneFileCreated(const std::string& path);
std::string UndoneFileReplaced(const std::string& path, const std::string& backup);
std::string UndoneFileMoved(const std::string& path, const std::string& movedTo);
std::string UndoneAttributesChanged(const std::string& path);
std::string UndoneFileTimeChanged(const std::string& path);
std::string UndoneKeyCreated(const std::string& key);
std::string UndoneValueWritten(const std::string& valuePath);
std::string UndoneKeyDeleted(const std::string& key);

// ---- the journal of an interrupted run ----------------------------------------

inline constexpr char kWhatJournal[] = "安装进度记录";
// An entry of the journal's file that is no entry.
std::string JournalEntryDamaged();
// A journal whose bytes are damaged before its end: nothing is undone on its word.
std::string JournalDamaged(const std::string& path);
// The log line of a run that found an earlier run of the product unfinished.
std::string UnfinishedRunUndone();
std::string UnfinishedRunCompleted();
// The reason beside a file in use that replaces its target when Windows restarts.
std::string ReplacedAtRestart();
// The log line of a run that needs a restart of Windows to finish.
std::string RestartNeededToFinish();

// ---- items a package holds that would harm the machine -----------------------
// Reasons beside an item the setup program left out of the installation.

std::string LeftOutFile();
std::string LeftOutRegistry();
std::string LeftOutShortcut();
std::string LeftOutComponent();
// The Start-menu folder (typed or the package's) would leave the Programs
// folder or cannot be made; `problem` says why.
std::string StartFolderInvalid(const std::string& folder, const std::string& problem);
// The same, as the reason beside the folder in the failure list.
std::string StartFolderNoLinks(const std::string& problem);

// ---- the uninstaller --------------------------------------------------------

std::string RecordMissing();
std::string RecordDamaged(const std::string& error);
std::string RecordEdited();
std::string UninstallEndedByError(const std::string& error);
std::string UninstallSucceeded(const std::string& product);
// Some items could not be removed: the first of them listed, with how many more.
std::string UninstallIncomplete(const std::string& product, const std::string& listed, size_t more);
// A record no digest vouches for: what it named outside the installation
// folder and the product's links was left alone.
std::string UninstallUnvouched(const std::string& product, const std::string& listed, size_t more);
std::string UninstallFailedValue(const std::string& valuePath);
std::string UninstallFailedKey(const std::string& key);
std::string UninstallFailedFile(const std::string& path);
std::string UninstallFailedFolder(const std::string& path);
// An item (as UninstallFailedFile or UninstallFailedFolder name it) left
// alone because the level link on its way is a junction or symbolic link.
std::string UninstallBehindLink(const std::string& item, const std::string& link);
std::string UninstallSkippedRegistry(const std::string& path);

}  // namespace setup::msg
