// The command record: what the parser read from one command statement (a line beginning with '-')
// and what the executors act on. One record serves the whole run; each statement overwrites the
// fields of its own kind, and each file or registry sub-command overwrites the sub-command fields.
#pragma once

#include <cstdint>
#include <string>

namespace dravik {

enum class CommandKind : int {
    kNone = 0,
    kFile = 1,
    kRegistry = 2,
    kShortcut = 3,
    kProgram = 4,
    kWait = 5,
    kRegisterControl = 7,
    kUnregisterControl = 8,
    kArchive = 9,
};

// fileOp values.
enum FileOp : int {
    kFileOpNone = 0,
    kInsertLine = 1,
    kReplaceLine = 2,
    kDeleteLine = 3,
    kInsertString = 4,
    kReplaceString = 5,
    kDeleteString = 6,
    kTestExistence = 7,
    kSearch = 8,
    kGetLineBySearch = 9,
    kGetLineByNumber = 10,
};

// insertPosition values.
enum InsertPosition : int { kInsertNowhere = 0, kInsertAtBeginning = 1, kInsertAtEnd = 2, kInsertRelative = 3 };

// rootKey values: LM, CU, US, CR, CC, DD, PD.
enum RootKey : int {
    kNoRoot = 0,
    kLocalMachine = 1,
    kCurrentUser = 2,
    kUsers = 3,
    kClassesRoot = 4,
    kCurrentConfig = 5,
    kDynData = 6,
    kPerformanceData = 7,
};

// valueType values: the script's type words SZ, BN, DW and NO.
enum ValueType : int { kTypeNone = 0, kTypeSz = 1, kTypeBinary = 2, kTypeDword = 3, kTypeNo = 4 };

// Text fields hold at most this many characters; the control's file names fewer.
constexpr size_t kMaxCommandText = 2047;
constexpr size_t kMaxControlPath = 259;
constexpr size_t kMaxAfterDate = 6;

struct ParsedCommand {
    CommandKind kind = CommandKind::kNone;
    bool syntaxError = false;

    // Modifiers of the file sub-commands, for the whole line.
    bool caseSensitive = false;  // "-c"
    bool insertAfter = false;    // "-a"

    // File command, then per sub-command.
    std::string fileName;
    int fileOp = kFileOpNone;
    bool allOccurrences = false;
    int insertPosition = kInsertNowhere;
    std::string insertText, insertSearch, searchText, replaceText, deleteText;
    std::string resultVariable;  // also the registry's "-v" and the wait's "-v"

    // Registry command, then per sub-command.
    int rootKey = kNoRoot;
    std::string keyPath;
    std::string valueName;
    int valueType = kTypeNone;
    std::string valueData;
    bool deleteValue = false, createKey = false, deleteKey = false;

    // Shortcut. showCommand: 0 not given, 1 normal, 7 minimised, 3 maximised.
    std::string linkFile, target, arguments, workingDirectory;
    int showCommand = 0;

    // Program. showMode: 1 normal, 2 minimised, 3 maximised.
    std::string program, parameters;
    bool waitForExit = true;
    int showMode = 1;

    // Wait. timeoutMs -1: no time-out.
    std::string processName;
    int32_t timeoutMs = -1;

    // Component registration.
    std::string controlFile, copySource;
    bool alwaysCopy = false;
    bool deleteAfterUnregister = false;

    // Archive. archiveOp: 0 compress, 1 compress encrypted, 2 extract, 3 extract decrypting, 4 list,
    // 5 list with "d".
    std::string archiveFile, fileSpec, destination, outputFile;
    int archiveOp = 0;
    bool containerFormat = false, updateNewerOnly = false, storePaths = false, relativePaths = false,
         recurse = false, overwrite = false, afterDate = false;
    std::string afterDateText;
};

}  // namespace dravik
