// The mappings between engine field types and BDE types, and the request
// code mappings. Value conversions are in logical_values.cpp.
#include "dict/QDCLConv.h"

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/string_ids.h"

namespace qd {

namespace {

[[noreturn]] void RaiseInvalidParameter() {
  RaiseTableError<EqdClientException>(ClientStrings(), csInvalidParameter);
}

}  // namespace

TqdEngineTypeAndLength EngineTypeFromBDE(uint16_t bdeType, uint16_t subtype, int32_t length) {
  switch (bdeType) {
    case bdeZString: return {fkNullString, length};
    case bdeDate: return {fkDate, 4};
    case bdeBlob:
      switch (subtype) {
        case bdeSubMemo: return {fkBlobMemo, 4};
        case bdeSubBinary: return {fkBlob, 4};
        case bdeSubFmtMemo: return {fkBlobFmtMemo, 4};
        case bdeSubOleObj: return {fkBlobOleObj, 4};
        case bdeSubGraphic: return {fkBlobGraphic, 4};
        case bdeSubDbaseOle: return {fkBlobDbaseOle, 4};
        case bdeSubTypedBinary: return {fkBlobTypedBinary, 4};
        default: RaiseInvalidParameter();
      }
    case bdeBool: return {fkBoolean, 1};
    case bdeInt16: return {fkInt16, 2};
    case bdeInt32: return {subtype == bdeSubAutoInc ? fkAutoInc : fkInt32, 4};
    case bdeFloat: return {subtype == bdeSubMoney ? fkCurrency : fkDouble, 8};
    case bdeBcd: return {fkCurrency, 8};
    case bdeBytes: return {fkByteArray, length};
    case bdeTime: return {fkTime, 4};
    case bdeTimeStamp: return {fkDateTime, 8};
    case bdeUInt16: return {fkUInt16, 2};
    case bdeUInt32: return {fkUInt32, 4};
    case bdeFloatIeee: return {fkExtended, 10};
    case bdeVarBytes:
      if (length > kMaxShortStringBDELength) RaiseInvalidParameter();
      return {fkShortString, length};
    default: RaiseInvalidParameter();
  }
}

TqdBDETypeInfo BDETypeFromEngine(uint8_t engineType, int32_t engineLength) {
  const uint8_t type = engineType & 0x7F;
  switch (type) {
    case fkBoolean: return {bdeBool, 4, bdeSubNone};
    case fkChar:
    case fkWideChar: return {bdeZString, 1, bdeSubNone};
    case fkUInt8:
    case fkUInt16: return {bdeUInt16, 2, bdeSubNone};
    case fkUInt32:
    case fkInt32: return {bdeInt32, 4, bdeSubNone};
    case fkInt8:
    case fkInt16: return {bdeInt16, 2, bdeSubNone};
    case fkAutoInc: return {bdeInt32, 4, bdeSubAutoInc};
    case fkSingle:
    case fkDouble:
    case fkExtended:
    case fkComp: return {bdeFloat, 8, bdeSubNone};
    case fkCurrency: return {bdeFloat, 8, bdeSubMoney};
    case fkDate: return {bdeDate, 4, bdeSubNone};
    case fkTime: return {bdeTime, 4, bdeSubNone};
    case fkDateTime: return {bdeTimeStamp, 8, bdeSubNone};
    case fkBlob: return {bdeBlob, 4, bdeSubBinary};
    case fkBlobMemo: return {bdeBlob, 4, bdeSubMemo};
    case fkBlobFmtMemo: return {bdeBlob, 4, bdeSubFmtMemo};
    case fkBlobOleObj: return {bdeBlob, 4, bdeSubOleObj};
    case fkBlobGraphic: return {bdeBlob, 4, bdeSubGraphic};
    case fkBlobDbaseOle: return {bdeBlob, 4, bdeSubDbaseOle};
    case fkBlobTypedBinary: return {bdeBlob, 4, bdeSubTypedBinary};
    case fkByteArray: return {bdeBytes, engineLength, bdeSubNone};
    case fkShortString:
    case fkShortStringAlt: return {bdeZString, engineLength - 1, bdeSubNone};
    case fkNullString:
    case fkNullStringAlt:
    case fkWideString:
      if (engineLength <= kMaxLogicalStringLength) return {bdeZString, engineLength - 1, bdeSubNone};
      return {bdeBlob, 4, bdeSubMemo};
    default: RaiseInvalidParameter();
  }
}

int32_t LockTypeToEngine(int32_t bdeLockType) {
  switch (bdeLockType) {
    case 1: return 2;
    case 2: return 1;
    default: return 0;
  }
}

int32_t SearchCondToEngine(int32_t bdeSearchCond) {
  return bdeSearchCond == 1 || bdeSearchCond == 2 ? bdeSearchCond : 0;
}

int32_t OpenModeToEngine(int32_t bdeOpenMode) { return bdeOpenMode == 0 ? 1 : 0; }
int32_t ShareModeToEngine(int32_t bdeShareMode) { return bdeShareMode == 0 ? 1 : 0; }

}  // namespace qd
