// The Dravik root of the command tree: the script kinds, their fields and statement texts.
#pragma once

#include "catalogue.h"

namespace dkedit {

CatalogueRoot script_catalogue();

// The head of a file or registry command for the sub-operation kind `current`.
std::string family_head(Family family, const Kind& current, const FieldStore& store);

// Shared slots of the script kinds, read by Analyze.
namespace slot {
inline const char kFileName[] = "file.name";
inline const char kFileCase[] = "file.case";
inline const char kRegRoot[] = "reg.root";
inline const char kRegPath[] = "reg.path";
inline const char kRegAction[] = "reg.action";
inline const char kRidoFile[] = "rido.file";
inline const char kRidoSpec[] = "rido.spec";
inline const char kFirst[] = "cmp.first";
inline const char kSecond[] = "cmp.second";
inline const char kVarName[] = "var.name";
inline const char kVarValue[] = "var.value";
}  // namespace slot

}  // namespace dkedit
