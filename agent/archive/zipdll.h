// The archive engine's interface: the zip and unzip command records, the entry information
// records, the function and result codes, and the entry and life-cycle functions.
//
// Records come in five layouts each, told apart by their `size` field; a shorter (older) record
// simply ends earlier and the fields it lacks count as 0. The unzip record and the information
// records are packed with no gaps between fields.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// Status function: the current item, a completion figure, the caller's value; non-zero stops.
typedef int32_t (*ZIPSTATUSPROC)(const char* item, uint32_t figure, void* userData);
// Display function: message kind, message-box style bits, two numbers, the text, a buffer for
// the title, the caller's value; returns the button chosen (1 OK .. 7 No; 100 yes to all,
// 101 rename for the overwrite question).
typedef int32_t (*ZIPMESSAGEPROC)(uint32_t kind, uint32_t style, uint32_t n1, uint32_t n2, const char* text, char* title,
                                  void* userData);

struct ZIPCMDSTRUCT {
    int32_t size;
    int32_t Function;
    const char* lpszZIPFile;
    const char* lpszItemList;
    ZIPSTATUSPROC lpMajorStatus;
    void* lpMajorUserData;
    ZIPSTATUSPROC lpMinorStatus;
    void* lpMinorUserData;
    int32_t dosifyFlag;
    int32_t recurseFlag;
    int32_t compFactor;
    int32_t quietFlag;
    int32_t pathForTempFlag;
    const char* lpszTempPath;
    int32_t fixFlag;
    int32_t fixHarderFlag;
    int32_t includeVolumeFlag;
    int32_t deleteOriginalFlag;
    int32_t growExistingFlag;
    int32_t noDirectoryNamesFlag;
    int32_t convertLFtoCRLFFlag;
    int32_t addCommentFlag;
    const char* lpszComment;
    int32_t afterDateFlag;
    const char* lpszDate;
    int32_t oldAsLatestFlag;
    int32_t includeOnlyFollowingFlag;
    const char* lpszIncludeFollowing;
    int32_t excludeFollowingFlag;
    const char* lpszExludeFollowing;
    int32_t noDirectoryEntriesFlag;
    int32_t includeSysHiddenFlag;
    int32_t dontCompressTheseSuffixesFlag;
    const char* lpszStoreSuffixes;
    int32_t diagnosticFlag;
    int32_t encryptFlag;
    const char* lpszEncryptCode;  // end of the oldest layout
    ZIPMESSAGEPROC lpMessageDisplay;
    void* lpMessageDisplayData;
    uint16_t wMultiVolControl;
    uint16_t wZipSubOptions;  // end of the second layout
    void* lpCallbackStruct;
    int32_t lResv2;
    void* lpRenameProc;
    void* lpRenameUserData;
    const char* lpszExtProgTitle;
    void* lpMemBlock;
    uint32_t lMemBlockSize;  // end of the third layout
    int32_t LargeZIPFilesFlag;
    uint32_t* pulFileSizeArray;
    int32_t lZipSubOptions2;
    uint32_t lMemBlockSizeH;
    void* lpRenameProcEX;
    int32_t lSEInfo;
    int32_t lResv7;
    int32_t lResv8;  // end of the fourth layout
    int32_t lResv9;
    int32_t lResv10;
    int32_t lResv11;
    int32_t lResv12;
    int32_t lResv13;
    int32_t lResv14;
    int32_t lResv15;
    int32_t lResv16;
};

#pragma pack(push, 1)

struct UNZIPCMDSTRUCT {
    int32_t size;
    int32_t Function;
    const char* lpszZIPFile;
    struct ZIPINFO* zInfo;
    const char* lpszFilespec;
    int32_t index;
    const char* lpszDestination;
    int32_t freshenFlag;
    int32_t updateFlag;
    int32_t overWriteFlag;
    int32_t quietFlag;
    int32_t testFlag;
    int32_t noDirectoryNamesFlag;
    int32_t recurseFlag;
    int32_t noDirectoryItemsFlag;
    ZIPSTATUSPROC lpMinorStatus;
    void* lpMinorUserData;
    ZIPSTATUSPROC lpMajorStatus;
    void* lpMajorUserData;
    int32_t returnCount;
    char* lpszReturnString;
    int32_t diagnosticFlag;
    int32_t lResv1;
    int32_t decryptFlag;
    const char* lpszDecryptCode;  // end of the oldest layout
    ZIPMESSAGEPROC lpMessageDisplay;
    void* lpMessageDisplayData;
    uint16_t wUnzipSubOptions;  // end of the second layout
    void* lpCallbackStruct;
    int32_t lResv2;
    void* lpRenameProc;
    void* lpRenameUserData;
    const char* lpszExtProgTitle;
    void* lpMemBlock;
    uint32_t lMemBlockSize;
    uint32_t lStartingOffset;  // end of the third layout
    struct ZIPINFOEX* pZipInfoEx;
    int32_t lUnZipSubOptions2;
    uint32_t lMemBlockSizeH;
    uint32_t lStartingOffsetH;
    void* lpRenameProcEX;
    int32_t lResv7;
    int32_t lResv8;  // end of the fourth layout
    uint8_t reserved[32];
};

// Extended entry information, filled by the get-next functions.
struct ZIPINFOEX {
    uint32_t dwReserved;
    uint32_t dwIndex;
    uint64_t uncompressedSize;
    uint64_t compressedSize;
    uint32_t dwAttributes;  // low 15 bits external attributes; 0x8000 encrypted
    uint32_t dwCRC;
    uint16_t wMethod;
    uint16_t wFlags;
    uint16_t wHasPath;
    char szDateTime[32];  // "%02u/%02u/%04u  %02u:%02u:%02u"
    char szFileName[2048];
    uint32_t dwSeconds;
    uint32_t dwDosDateTime;
    uint32_t dwEncryption;
    uint8_t reserved[20];
};

// The older, short entry information record.
struct ZIPINFO {
    uint32_t dwReserved;
    uint32_t dwIndex;
    uint32_t uncompressedSize;
    uint32_t compressedSize;
    uint32_t dwAttributes;
    uint32_t dwCRC;
    uint16_t wMethod;
    uint16_t wFlags;
    uint16_t wHasPath;
    char szDateTime[20];  // "%02u/%02u/%02u  %02u:%02u"
    char szFileName[261];
};

#pragma pack(pop)

// Zip function codes.
enum { ZIP_FRESHEN = 1, ZIP_DELETE = 2, ZIP_UPDATE = 3, ZIP_ADD = 4 };
// Unzip function codes.
enum {
    UNZIP_COUNTALL = 1,
    UNZIP_GETNEXT = 2,
    UNZIP_COUNTNAMED = 3,
    UNZIP_GETNEXTNAMED = 4,
    UNZIP_EXTRACT = 8,
    UNZIP_FILETOMEM = 9,
};

int32_t ZipExecute(ZIPCMDSTRUCT* record);
int32_t UnzipExecute(UNZIPCMDSTRUCT* record);

int32_t ZipProcessAttach(void* instance);
int32_t ZipThreadAttach(void);
void ZipThreadDetach(void);
void ZipProcessDetach(void);
int32_t UnzipProcessAttach(void* instance);
int32_t UnzipThreadAttach(void);
void UnzipThreadDetach(void);
void UnzipProcessDetach(void);

// The engine's text for a result code ("-" for codes without one).
const char* ZipResultText(int32_t code);
const char* UnzipResultText(int32_t code);
// The last reported message of the calling thread (empty after success).
const char* ZipLastMessage(void);
const char* UnzipLastMessage(void);
// Where reported messages go besides the display function: the agent's log writer.
typedef void (*ARCHIVELOGPROC)(const char* text, void* userData);
void ArchiveSetLog(ARCHIVELOGPROC log, void* userData);
// Overrides the diagnostic log file (tests); null restores the default place.
void ArchiveSetDiagnosticLogPath(const char* path);

}  // extern "C"

namespace dravik::archive {
// The sizes of the five layouts, oldest first.
extern const int32_t kZipRecordSizes[5];
extern const int32_t kUnzipRecordSizes[5];
}  // namespace dravik::archive
