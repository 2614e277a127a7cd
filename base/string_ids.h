// Numbers of the texts in the string tables, by table.
#pragma once

#include <cstdint>

namespace qd {

// QD_GENERAL_STRINGS
enum GeneralStringId : int32_t {
  gsOSErrorCopying = 32,
  gsOSErrorDeleting = 33,
  gsOSErrorRenaming = 34,
  gsDictTooManyIndexes = 66,  // the table has no text for it yet
  gsDictItemMissing = 96,
  gsDictAlreadyDefined = 97,
  gsDictAssignNotDictionary = 98,
  gsDictNoFields = 99,
  gsDictIndexFieldMissing = 100,
  gsDictUnknownFieldType = 101,
  gsDictRecordTooLong = 102,
  gsDictBlockSizeDiffers = 103,
  gsDictTableBuilt = 104,
  gsDictNotInFile = 105,
  gsDictBlobFileDefined = 106,
  gsDictCannotRemoveBaseFile = 107,
  gsDictFileMissing = 108,
  gsDictInvalidTableName = 109,
  gsDictInvalidExtension = 110,
  gsDictDuplicateExtension = 111,
  gsDictDataFileDefined = 112,
  gsDictIndexWithoutFields = 113,
  gsDictInvalidParameter = 114,
  gsDictInvalidBlockSize = 115,
  gsDictInvalidKeyLength = 116,
  gsDictDuplicateFieldName = 117,
  gsDictDuplicateIndexName = 118,
  gsNotifyWindowFailed = 128,
  gsServersCannotCall = 129,
  gsClientsCannotListen = 130,
  gsNetBIOSUnexpectedError = 131,
  gsNetBIOSDriverNotFound = 132,
  gsNetBIOSOutOfMemory = 133,
  gsNetBIOSNameNotAdded = 134,
  gsWinsockUnexpectedError = 135,
  gsWinsockNotFound = 136,
  gsWinsockCannotCreateSocket = 137,
  gsWinsockNoLocalAddress = 138,
  gsInvalidServerName = 240,
  gsInvalidNameOrPath = 241,
  gsDuplicateAlias = 242,
  gsValuesNotDefined = 243,
  gsSeqAccessIndex = 256,
  gsDataDictFile = 257,
  gsRegistryRoot = 258,
};

// QD_CLIENT_STRINGS
enum ClientStringId : int32_t {
  csCollectionIndexOutOfRange = 80,
  csConfigurationKey = 608,
  csUserName = 609,
  csStandard = 610,
  csPath = 645,
  csInfo = 715,
  csInvalidParameter = 717,
  csActive = 720,
  csCommunicationsError = 721,
  csDBList = 722,
  csTableList = 723,
  csFieldList = 724,
  csIndexList = 725,
  csSystemMessageCaption = 752,
  csBDERoutineNotSupported = 753,
  csBDEError = 754,
  csRegistryRoot = 759,
  csIDAPI = 767,
  csIDAPI2 = 770,
  csBaseClasses = 773,
  csKeyEquals = 774,
  csNotSupported = 775,
  csOnlyQuilldriveComponents = 776,
  csNetworkProtocolFailure = 777,
};

// QD_DATASET_ERROR_STRINGS
enum DatasetStringId : int32_t {
  dsErrorNoCode = 54528,
  dsErrorWithCode = 54529,
  dsNilPointer = 54530,
  dsUnnamedInstance = 54531,
  dsComponentErrorNoCode = 54532,
};

}  // namespace qd
