#pragma once

// Barcode scan-engine parameter identifiers and the Zebra engines' subset of them.
// All values and lookups are immutable; safe on any thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

// Case names are the descriptions in lower camel case. 33 and 69 keep their double blank.
#define ORV_ENGINE_PARAM_ID(X)                                                                   \
    X(upcAOnOff, 0, "UPC-A On/Off")                                                              \
    X(upcE0OnOff, 1, "UPC-E0 On/Off")                                                            \
    X(upcE1OnOff, 2, "UPC-E1 On/Off")                                                            \
    X(eanJan8OnOff, 3, "EAN/JAN-8 On/Off")                                                       \
    X(eanJan8CheckDigitOnOff, 4, "EAN/JAN-8 Check Digit On/Off")                                 \
    X(eanJan13OnOff, 5, "EAN/JAN-13 On/Off")                                                     \
    X(eanJan13CheckDigitOnOff, 6, "EAN/JAN-13 Check Digit On/Off")                               \
    X(booklandEanOnOff, 7, "Bookland EAN On/Off")                                                \
    X(booklandIsbnFormat, 8, "Bookland ISBN Format")                                             \
    X(issnEanOnOff, 9, "ISSN EAN On/Off")                                                        \
    X(decodeUpcEanJanSupplementals, 10, "Decode UPC/EAN/JAN Supplementals")                      \
    X(userProgrammableSupplementals1, 11, "User Programmable Supplementals 1")                   \
    X(userProgrammableSupplementals2, 12, "User Programmable Supplementals 2")                   \
    X(upcEanJanSupplementalsRedundancy, 13, "UPC/EAN/JAN Supplementals Redundancy")              \
    X(upcEanJanSupplementalsAimIdFormat, 14, "UPC/EAN/JAN Supplementals AIM ID Format")          \
    X(eanSupplementals2OnOff, 15, "EAN Supplementals 2 On/Off")                                  \
    X(eanSupplementals5OnOff, 16, "EAN Supplementals 5 On/Off")                                  \
    X(upcACheckDigitOnOff, 17, "UPC-A Check Digit On/Off")                                       \
    X(upcE0CheckDigitOnOff, 18, "UPC-E0 Check Digit On/Off")                                     \
    X(upcE1CheckDigitOnOff, 19, "UPC-E1 Check Digit On/Off")                                     \
    X(upcAPreamble, 20, "UPC-A Preamble")                                                        \
    X(upcEPreamble, 21, "UPC-E Preamble")                                                        \
    X(upcE1Preamble, 22, "UPC-E1 Preamble")                                                      \
    X(convertUpcEToUpcA, 23, "Convert UPC-E to UPC-A")                                           \
    X(convertUpcE1ToUpcA, 24, "Convert UPC-E1 to UPC-A")                                         \
    X(eanJanZeroExtendOnOff, 25, "EAN/JAN Zero Extend On/Off")                                   \
    X(uccCouponExtendedCodeOnOff, 26, "UCC Coupon Extended Code On/Off")                         \
    X(couponReport, 27, "Coupon Report")                                                         \
    X(upcReducedQuietZoneOnOff, 28, "UPC Reduced Quiet Zone On/Off")                             \
    X(upcANumberSystemOnOff, 29, "UPC-A Number System On/Off")                                   \
    X(upcARedundancy, 30, "UPC-A Redundancy")                                                    \
    X(upcA2DigitAddendaOnOff, 31, "UPC-A 2 Digit Addenda On/Off")                                \
    X(upcA5DigitAddendaOnOff, 32, "UPC-A 5 Digit Addenda On/Off")                                \
    X(upcAAddendaRequiredOnOff, 33, "UPC-A Addenda Required  On/Off")                            \
    X(addendaTimeout, 34, "Addenda Timeout")                                                     \
    X(upcAAddendaSeparatorOnOff, 35, "UPC-A Addenda Separator On/Off")                           \
    X(upcAEan13WithExtendedCouponCode, 36, "UPC-A/EAN-13 with Extended Coupon Code")             \
    X(couponGs1DatabarOutputOnOff, 37, "Coupon GS1 DataBar Output On/Off")                       \
    X(upcE0ExpandOnOff, 38, "UPC-E0 Expand On/Off")                                              \
    X(upcE0Redundancy, 39, "UPC-E0 Redundancy")                                                  \
    X(upcE0AddendaRequiredOnOff, 40, "UPC-E0 Addenda Required On/Off")                           \
    X(upcE0AddendaSeparatorOnOff, 41, "UPC-E0 Addenda Separator On/Off")                         \
    X(upcE0LeadingZeroOnOff, 42, "UPC-E0 Leading Zero On/Off")                                   \
    X(upcE02DigitAddendaOnOff, 43, "UPC-E0 2 Digit Addenda On/Off")                              \
    X(upcE05DigitAddendaOnOff, 44, "UPC-E0 5 Digit Addenda On/Off")                              \
    X(convertUpcAToEan13OnOff, 45, "Convert UPC-A to EAN-13 On/Off")                             \
    X(eanJan13Redundancy, 46, "EAN/JAN-13 Redundancy")                                           \
    X(eanJan132DigitAddendaOnOff, 47, "EAN/JAN-13 2 Digit Addenda On/Off")                       \
    X(eanJan135DigitAddendaOnOff, 48, "EAN/JAN-13 5 Digit Addenda On/Off")                       \
    X(eanJan13AddendaRequiredOnOff, 49, "EAN/JAN-13 Addenda Required On/Off")                    \
    X(eanJan13BeginningWith290AddendaRequiredOnOff, 50,                                          \
      "EAN/JAN-13 Beginning with 290 Addenda Required On/Off")                                   \
    X(eanJan13BeginningWith378379AddendaRequired, 51,                                            \
      "EAN/JAN-13 Beginning with 378/379 Addenda Required")                                      \
    X(eanJan13BeginningWith414419AddendaRequired, 52,                                            \
      "EAN/JAN-13 Beginning with 414/419 Addenda Required")                                      \
    X(eanJan13BeginningWith434439AddendaRequired, 53,                                            \
      "EAN/JAN-13 Beginning with 434/439 Addenda Required")                                      \
    X(eanJan13BeginningWith977AddendaRequiredOnOff, 54,                                          \
      "EAN/JAN-13 Beginning with 977 Addenda Required On/Off")                                   \
    X(eanJan13BeginningWith978AddendaRequiredOnOff, 55,                                          \
      "EAN/JAN-13 Beginning with 978 Addenda Required On/Off")                                   \
    X(eanJan13BeginningWith979AddendaRequiredOnOff, 56,                                          \
      "EAN/JAN-13 Beginning with 979 Addenda Required On/Off")                                   \
    X(eanJan13AddendaSeparatorOnOff, 57, "EAN/JAN-13 Addenda Separator On/Off")                  \
    X(eanJan13ToIsbnTranslateOnOff, 58, "EAN/JAN-13 to ISBN Translate On/Off")                   \
    X(eanJan8Redundancy, 59, "EAN/JAN-8 Redundancy")                                             \
    X(eanJan82DigitAddendaOnOff, 60, "EAN/JAN-8 2 Digit Addenda On/Off")                         \
    X(eanJan85DigitAddendaOnOff, 61, "EAN/JAN-8 5 Digit Addenda On/Off")                         \
    X(eanJan8AddendaRequiredOnOff, 62, "EAN/JAN-8 Addenda Required On/Off")                      \
    X(eanJan8AddendaSeparatorOnOff, 63, "EAN/JAN-8 Addenda Separator On/Off")                    \
    X(upcEanVersionOnOff, 64, "UPC/EAN Version On/Off")                                          \
    X(code128OnOff, 65, "Code 128 On/Off")                                                       \
    X(code128Length1, 66, "Code 128 Length 1")                                                   \
    X(code128Length2, 67, "Code 128 Length 2")                                                   \
    X(gs1128OnOff, 68, "GS1-128 On/Off")                                                         \
    X(isbtConcatenationOnOff, 69, "ISBT Concatenation  On/Off")                                  \
    X(isbtConcatenation, 70, "ISBT Concatenation")                                               \
    X(checkIsbtTableOnOff, 71, "Check ISBT Table On/Off")                                        \
    X(isbtConcatenationRedundancy, 72, "ISBT Concatenation Redundancy")                          \
    X(code128Fnc4OnOff, 73, "Code 128 FNC4 On/Off")                                              \
    X(code128SecurityLevel, 74, "Code 128 Security Level")                                       \
    X(code128ReducedQuietZoneOnOff, 75, "Code 128 Reduced Quiet Zone On/Off")                    \
    X(code128MessageLengthMin, 76, "Code 128 Message Length Min")                                \
    X(code128MessageLengthMax, 77, "Code 128 Message Length Max")                                \
    X(code128AppendOnOff, 78, "Code 128 Append On/Off")                                          \
    X(code128Redundancy, 79, "Code 128 Redundancy")                                              \
    X(gs1128MessageLengthMin, 80, "GS1-128 Message Length Min")                                  \
    X(gs1128MessageLengthMax, 81, "GS1-128 Message Length Max")                                  \
    X(gs1128Redundancy, 82, "GS1-128 Redundancy")                                                \
    X(code39OnOff, 83, "Code 39 On/Off")                                                         \
    X(triopticCodeOnOff, 84, "Trioptic Code On/Off")                                             \
    X(code32PharmaceuticalParafOnOff, 85, "Code 32 Pharmaceutical(PARAF) On/Off")                \
    X(code32PrefixOnOff, 86, "Code 32 Prefix On/Off")                                            \
    X(code39Length1, 87, "Code 39 Length 1")                                                     \
    X(code39Length2, 88, "Code 39 Length 2")                                                     \
    X(code39CheckChar, 89, "Code 39 Check Char")                                                 \
    X(transmitCode39CheckDigitOnOff, 90, "Transmit Code 39 Check Digit On/Off")                  \
    X(code39FullAsciiOnOff, 91, "Code 39 Full ASCII On/Off")                                     \
    X(code39SecurityLevel, 92, "Code 39 Security Level")                                         \
    X(code39ReducedQuietZoneOnOff, 93, "Code 39 Reduced Quiet Zone On/Off")                      \
    X(code39MessageLengthMin, 94, "Code 39 Message Length Min")                                  \
    X(code39MessageLengthMax, 95, "Code 39 Message Length Max")                                  \
    X(transmitCode39StartStopChar, 96, "Transmit Code 39 Start/Stop Char")                       \
    X(code39Redundancy, 97, "Code 39 Redundancy")                                                \
    X(code39AppendOnOff, 98, "Code 39 Append On/Off")                                            \
    X(code39UnconventionalInterCharacterGapsOnOff, 99,                                           \
      "Code 39 Unconventional Inter-Character Gaps On/Off")                                      \
    X(triopticRedundancy, 100, "Trioptic Redundancy")                                            \
    X(code93OnOff, 101, "Code 93 On/Off")                                                        \
    X(code93Length1, 102, "Code 93 Length 1")                                                    \
    X(code93Length2, 103, "Code 93 Length 2")                                                    \
    X(code93MessageLengthMin, 104, "Code 93 Message Length Min")                                 \
    X(code93MessageLengthMax, 105, "Code 93 Message Length Max")                                 \
    X(code93Redundancy, 106, "Code 93 Redundancy")                                               \
    X(code93AppendOnOff, 107, "Code 93 Append On/Off")                                           \
    X(code11OnOff, 108, "Code 11 On/Off")                                                        \
    X(code11Length1, 109, "Code 11 Length 1")                                                    \
    X(code11Length2, 110, "Code 11 Length 2")                                                    \
    X(code11CheckDigit, 111, "Code 11 Check Digit")                                              \
    X(transmitCode11CheckDigitOnOff, 112, "Transmit Code 11 Check Digit On/Off")                 \
    X(code11MessageLengthMin, 113, "Code 11 Message Length Min")                                 \
    X(code11MessageLengthMax, 114, "Code 11 Message Length Max")                                 \
    X(code11Redundancy, 115, "Code 11 Redundancy")                                               \
    X(interleaved2Of5OnOff, 116, "Interleaved 2 of 5 On/Off")                                    \
    X(interleaved2Of5Length1, 117, "Interleaved 2 of 5 Length 1")                                \
    X(interleaved2Of5Length2, 118, "Interleaved 2 of 5 Length 2")                                \
    X(interleaved2Of5CheckDigit, 119, "Interleaved 2 of 5 Check Digit")                          \
    X(transmitInterleaved2Of5CheckDigitOnOff, 120,                                               \
      "Transmit Interleaved 2 of 5 Check Digit On/Off")                                          \
    X(convertInterleaved2Of5ToEan13OnOff, 121, "Convert Interleaved 2 of 5 to EAN-13 On/Off")    \
    X(interleaved2Of5SecurityLevel, 122, "Interleaved 2 of 5 Security Level")                    \
    X(interleaved2Of5ReducedQuietZoneOnOff, 123, "Interleaved 2 of 5 Reduced Quiet Zone On/Off") \
    X(interleaved2Of5MessageLengthMin, 124, "Interleaved 2 of 5 Message Length Min")             \
    X(interleaved2Of5MessageLengthMax, 125, "Interleaved 2 of 5 Message Length Max")             \
    X(discrete2Of5OnOff, 126, "Discrete 2 of 5 On/Off")                                          \
    X(discrete2Of5Length1, 127, "Discrete 2 of 5 Length 1")                                      \
    X(discrete2Of5Length2, 128, "Discrete 2 of 5 Length 2")                                      \
    X(codabarOnOff, 129, "Codabar On/Off")                                                       \
    X(codabarLength1, 130, "Codabar Length 1")                                                   \
    X(codabarLength2, 131, "Codabar Length 2")                                                   \
    X(clsiEditingOnOff, 132, "CLSI Editing On/Off")                                              \
    X(notisEditingOnOff, 133, "NOTIS Editing On/Off")                                            \
    X(codabarStartStopCharacterCase, 134, "Codabar Start/Stop Character Case")                   \
    X(codabarSecurityLevel, 135, "Codabar Security Level")                                       \
    X(codabarMessageLengthMin, 136, "Codabar Message Length Min")                                \
    X(codabarMessageLengthMax, 137, "Codabar Message Length Max")                                \
    X(transmitCodabarStartStopChar, 138, "Transmit Codabar Start/Stop Char")                     \
    X(codabarCheckChar, 139, "Codabar Check Char")                                               \
    X(codabarConcatenation, 140, "Codabar Concatenation")                                        \
    X(codablockAOnOff, 141, "Codablock A On/Off")                                                \
    X(codablockAMessageLengthMin, 142, "Codablock A Message Length Min")                         \
    X(codablockAMessageLengthMax, 143, "Codablock A Message Length Max")                         \
    X(codablockFOnOff, 144, "Codablock F On/Off")                                                \
    X(codablockFMessageLengthMin, 145, "Codablock F Message Length Min")                         \
    X(codablockFMessageLengthMax, 146, "Codablock F Message Length Max")                         \
    X(msiOnOff, 147, "MSI On/Off")                                                               \
    X(msiLength1, 148, "MSI Length 1")                                                           \
    X(msiLength2, 149, "MSI Length 2")                                                           \
    X(msiCheckChar, 150, "MSI Check Char")                                                       \
    X(transmitMsiCheckDigitOnOff, 151, "Transmit MSI Check Digit On/Off")                        \
    X(msiCheckDigitAlgorithmOnOff, 152, "MSI Check Digit Algorithm On/Off")                      \
    X(msiReducedQuietZoneOnOff, 153, "MSI Reduced Quiet Zone On/Off")                            \
    X(msiMessageLengthMin, 154, "MSI Message Length Min")                                        \
    X(msiMessageLengthMax, 155, "MSI Message Length Max")                                        \
    X(msiRedundancy, 156, "MSI Redundancy")                                                      \
    X(chinese2Of5OnOff, 157, "Chinese 2 of 5 On/Off")                                            \
    X(korean3Of5OnOff, 158, "Korean 3 of 5 On/Off")                                              \
    X(matrix2Of5OnOff, 159, "Matrix 2 of 5 On/Off")                                              \
    X(matrix2Of5Length1, 160, "Matrix 2 of 5 Length 1")                                          \
    X(matrix2Of5Length2, 161, "Matrix 2 of 5 Length 2")                                          \
    X(matrix2Of5Redundancy, 162, "Matrix 2 of 5 Redundancy")                                     \
    X(matrix2Of5CheckDigitOnOff, 163, "Matrix 2 of 5 Check Digit On/Off")                        \
    X(transmitMatrix2Of5CheckDigitOnOff, 164, "Transmit Matrix 2 of 5 Check Digit On/Off")       \
    X(matrix2Of5MessageLengthMin, 165, "Matrix 2 of 5 Message Length Min")                       \
    X(matrix2Of5MessageLengthMax, 166, "Matrix 2 of 5 Message Length Max")                       \
    X(inverse1d, 167, "Inverse 1D")                                                              \
    X(gs1Databar14OnOff, 168, "GS1 DataBar 14 On/Off")                                           \
    X(gs1DatabarLimitedOnOff, 169, "GS1 DataBar Limited On/Off")                                 \
    X(gs1DatabarExpandedOnOff, 170, "GS1 DataBar Expanded On/Off")                               \
    X(convertGs1DatabarToUpcEanJanOnOff, 171, "Convert GS1 DataBar to UPC/EAN/JAN On/Off")       \
    X(gs1DatabarSecurityLevel, 172, "GS1 DataBar Security Level")                                \
    X(gs1DatabarLimitedMarginCheck, 173, "GS1 DataBar Limited Margin Check")                     \
    X(gs1DatabarExpandedSecurityLevel, 174, "GS1 DataBar Expanded Security Level")               \
    X(gs1DatabarOmnidirectionalOnOff, 175, "GS1 DataBar Omnidirectional On/Off")                 \
    X(gs1DatabarOmnidirectionalRedundancy, 176, "GS1 DataBar Omnidirectional Redundancy")        \
    X(gs1DatabarLimitedRedundancy, 177, "GS1 DataBar Limited Redundancy")                        \
    X(gs1DatabarExpandedMessageLengthMin, 178, "GS1 DataBar Expanded Message Length Min")        \
    X(gs1DatabarExpandedMessageLengthMax, 179, "GS1 DataBar Expanded Message Length Max")        \
    X(gs1DatabarExpandedRedundancy, 180, "GS1 DataBar Expanded Redundancy")                      \
    X(redundancyLevel, 181, "Redundancy Level")                                                  \
    X(securityLevel, 182, "Security Level")                                                      \
    X(quietZoneLevel1d, 183, "Quiet Zone Level 1D")                                              \
    X(intercharacterGapSize, 184, "Intercharacter Gap Size")                                     \
    X(escapeCharacters, 185, "Escape Characters")                                                \
    X(compositeCcCOnOff, 186, "Composite CC-C On/Off")                                           \
    X(compositeCcABOnOff, 187, "Composite CC-A/B On/Off")                                        \
    X(tlc39OnOff, 188, "TLC 39 On/Off")                                                          \
    X(compositeInverseOnOff, 189, "Composite Inverse On/Off")                                    \
    X(upcCompositeMode, 190, "UPC Composite Mode")                                               \
    X(compositeBeepMode, 191, "Composite Beep Mode")                                             \
    X(gs1Emulation, 192, "GS1 Emulation")                                                        \
    X(gs1CompositeCodesOnOff, 193, "GS1 Composite Codes On/Off")                                 \
    X(gs1CompositeCodeMessageLengthMin, 194, "GS1 Composite Code Message Length Min")            \
    X(gs1CompositeCodeMessageLengthMax, 195, "GS1 Composite Code Message Length Max")            \
    X(pdf417OnOff, 196, "PDF417 On/Off")                                                         \
    X(microPdf417OnOff, 197, "Micro PDF417 On/Off")                                              \
    X(code128EmulationOnOff, 198, "Code 128 Emulation On/Off")                                   \
    X(dataMatrixOnOff, 199, "Data Matrix On/Off")                                                \
    X(dataMatrixInverse, 200, "Data Matrix Inverse")                                             \
    X(decodeDataMatrixMirrorImages, 201, "Decode Data Matrix Mirror Images")                     \
    X(gs1DataMatrixOnOff, 202, "GS1 Data Matrix On/Off")                                         \
    X(maxicodeOnOff, 203, "MaxiCode On/Off")                                                     \
    X(qrCodeOnOff, 204, "QR Code On/Off")                                                        \
    X(microQrCodeOnOff, 205, "Micro QR Code On/Off")                                             \
    X(gs1QrCodeOnOff, 206, "GS1 QR Code On/Off")                                                 \
    X(linkedQrMode, 207, "Linked QR Mode")                                                       \
    X(aztecCodeOnOff, 208, "Aztec Code On/Off")                                                  \
    X(aztecInverse, 209, "Aztec Inverse")                                                        \
    X(hanXinCodeOnOff, 210, "Han Xin Code On/Off")                                               \
    X(hanXinInverse, 211, "Han Xin Inverse")                                                     \
    X(gridMatrixOnOff, 212, "Grid Matrix On/Off")                                                \
    X(gridMatrixInverse, 213, "Grid Matrix Inverse")                                             \
    X(gridMatrixMirror, 214, "Grid Matrix Mirror")                                               \
    X(dotcodeOnOff, 215, "DotCode On/Off")                                                       \
    X(dotCodeInverse, 216, "Dot Code Inverse")                                                   \
    X(dotCodeMirror, 217, "Dot Code Mirror")                                                     \
    X(dotCodePrioritizeOnOff, 218, "Dot Code Prioritize On/Off")                                 \
    X(engineOrientationOnOff, 219, "Engine Orientation On/Off")                                  \
    X(continuousBarCodeReadOnOff, 220, "Continuous Bar Code Read On/Off")                        \
    X(poorQualityDotcodesOnOff, 221, "Poor Quality DotCodes On/Off")                             \
    X(dotcodeMessageLengthMin, 222, "DotCode Message Length Min")                                \
    X(dotcodeMessageLengthMax, 223, "DotCode Message Length Max")                                \
    X(pdf417MessageLengthMin, 224, "PDF417 Message Length Min")                                  \
    X(pdf417MessageLengthMax, 225, "PDF417 Message Length Max")                                  \
    X(macroPdf417OnOff, 226, "Macro PDF417 On/Off")                                              \
    X(microPdf417MessageLengthMin, 227, "Micro PDF417 Message Length Min")                       \
    X(microPdf417MessageLengthMax, 228, "Micro PDF417 Message Length Max")                       \
    X(dataMatrixMessageLengthMin, 229, "Data Matrix Message Length Min")                         \
    X(dataMatrixMessageLengthMax, 230, "Data Matrix Message Length Max")                         \
    X(aztecCodeMessageLengthMin, 231, "Aztec Code Message Length Min")                           \
    X(aztecCodeMessageLengthMax, 232, "Aztec Code Message Length Max")                           \
    X(aztecCodeAppendOnOff, 233, "Aztec Code Append On/Off")                                     \
    X(hanXinCodeMessageLengthMin, 234, "Han Xin Code Message Length Min")                        \
    X(hanXinCodeMessageLengthMax, 235, "Han Xin Code Message Length Max")                        \
    X(gridMatrixMessageLengthMin, 236, "Grid Matrix Message Length Min")                         \
    X(gridMatrixMessageLengthMax, 237, "Grid Matrix Message Length Max")                         \
    X(maxicodeMessageFormat, 238, "MaxiCode Message Format")                                     \
    X(maxicodeMessageLengthMin, 239, "MaxiCode Message Length Min")                              \
    X(maxicodeMessageLengthMax, 240, "MaxiCode Message Length Max")                              \
    X(qrCodeMessageLengthMin, 241, "QR Code Message Length Min")                                 \
    X(qrCodeMessageLengthMax, 242, "QR Code Message Length Max")                                 \
    X(qrCodeAppendOnOff, 243, "QR Code Append On/Off")                                           \
    X(qrCodeNoQuietZoneOnOff, 244, "QR Code No Quiet Zone On/Off")                               \
    X(lowContrastDataMatrixEnhancements, 245, "Low Contrast Data Matrix Enhancements")           \
    X(usPostnetOnOff, 246, "US Postnet On/Off")                                                  \
    X(usPlanetOnOff, 247, "US Planet On/Off")                                                    \
    X(transmitUsPostalCheckDigitOnOff, 248, "Transmit US Postal Check Digit On/Off")             \
    X(ukPostalOnOff, 249, "UK Postal On/Off")                                                    \
    X(transmitUkPostalCheckDigitOnOff, 250, "Transmit UK Postal Check Digit On/Off")             \
    X(japanPostalOnOff, 251, "Japan Postal On/Off")                                              \
    X(australiaPostOnOff, 252, "Australia Post On/Off")                                          \
    X(australiaPostFormat, 253, "Australia Post Format")                                         \
    X(netherlandsKixCodeOnOff, 254, "Netherlands KIX Code On/Off")                               \
    X(usps4cbOneCodeIntelligentMailOnOff, 255, "USPS 4CB/One Code/Intelligent Mail On/Off")      \
    X(upuFicsPostalOnOff, 256, "UPU FICS Postal On/Off")                                         \
    X(twoDimensionalPostalCodes, 257, "Two Dimensional Postal Codes")                            \
    X(transmitPlanetCodeCheckDigit, 258, "Transmit Planet Code Check Digit")                     \
    X(transmitPostnetCheckDigit, 259, "Transmit Postnet Check Digit")                            \
    X(australianPostInterpretation, 260, "Australian Post Interpretation")                       \
    X(chinaPostOnOff, 261, "China Post On/Off")                                                  \
    X(chinaPostMessageLengthMin, 262, "China Post Message Length Min")                           \
    X(chinaPostMessageLengthMax, 263, "China Post Message Length Max")                           \
    X(chinaPostRedundancy, 264, "China Post Redundancy")                                         \
    X(koreaPostOnOff, 265, "Korea Post On/Off")                                                  \
    X(koreaPostMessageLengthMin, 266, "Korea Post Message Length Min")                           \
    X(koreaPostMessageLengthMax, 267, "Korea Post Message Length Max")                           \
    X(transmitKoreaPostCheckDigit, 268, "Transmit Korea Post Check Digit")                       \
    X(febrabanDecodeOnOff, 269, "FEBRABAN Decode On/Off")                                        \
    X(nec2Of5OnOff, 270, "NEC 2 of 5 On/Off")                                                    \
    X(nec2Of5CheckDigit, 271, "NEC 2 of 5 Check Digit")                                          \
    X(nec2Of5MessageLengthMin, 272, "NEC 2 of 5 Message Length Min")                             \
    X(nec2Of5MessageLengthMax, 273, "NEC 2 of 5 Message Length Max")                             \
    X(nec2Of5Redundancy, 274, "NEC 2 of 5 Redundancy")                                           \
    X(straight2Of5IndustrialOnOff, 275, "Straight 2 of 5 Industrial On/Off")                     \
    X(straight2Of5IndustrialMessageLengthMin, 276,                                               \
      "Straight 2 of 5 Industrial Message Length Min")                                           \
    X(straight2Of5IndustrialMessageLengthMax, 277,                                               \
      "Straight 2 of 5 Industrial Message Length Max")                                           \
    X(straight2Of5IndustrialRedundancy, 278, "Straight 2 of 5 Industrial Redundancy")            \
    X(straight2Of5IataOnOff, 279, "Straight 2 of 5 IATA On/Off")                                 \
    X(straight2Of5IataMessageLengthMin, 280, "Straight 2 of 5 IATA Message Length Min")          \
    X(straight2Of5IataMessageLengthMax, 281, "Straight 2 of 5 IATA Message Length Max")          \
    X(straight2Of5IataRedundancy, 282, "Straight 2 of 5 IATA Redundancy")                        \
    X(telepenOnOff, 283, "Telepen On/Off")                                                       \
    X(telepenOutput, 284, "Telepen Output")                                                      \
    X(telepenMessageLengthMin, 285, "Telepen Message Length Min")                                \
    X(telepenMessageLengthMax, 286, "Telepen Message Length Max")                                \
    X(telepenRedundancy, 287, "Telepen Redundancy")                                              \
    X(labelCodeOnOff, 288, "Label Code On/Off")                                                  \
    X(digimarcDecoderAttempts, 289, "Digimarc Decoder Attempts")                                 \
    X(digimarcBarcode, 290, "Digimarc Barcode")                                                  \
    X(code32OnOff, 291, "Code 32 On/Off")                                                        \
    X(interleaved2Of5Length, 292, "Interleaved 2 of 5 Length")                                   \
    X(industrial2Of5OnOff, 293, "Industrial 2 of 5 On/Off")                                      \
    X(industrial2Of5LengthMin, 294, "Industrial 2 of 5 Length Min")                              \
    X(industrial2Of5LengthMax, 295, "Industrial 2 of 5 Length Max")                              \
    X(eanJan13ToIssnTranslateOnOff, 296, "EAN/JAN-13 to ISSN Translate On/Off")                  \
    X(febrabanItf25OnOff, 297, "Febraban ITF25 On/Off")                                          \
    X(febrabanC128OnOff, 298, "Febraban C128 On/Off")                                            \
    X(febrabanCheckDigitOnOff, 299, "Febraban Check Digit On/Off")                               \
    X(febrabanOnOff, 300, "Febraban On/Off")                                                     \
    X(codabarMod16CheckDigitOnOff, 301, "Codabar Mod 16 Check Digit On/Off")                     \
    X(transmitCodabarCheckDigitOnOff, 302, "Transmit Codabar Check Digit On/Off")                \
    X(macroPdfSymbols, 303, "Macro PDF Symbols")                                                 \
    X(transmitMacroPdfControlHeaderOnOff, 304, "Transmit Macro PDF Control Header On/Off")       \
    X(mailmarkOnOff, 305, "Mailmark On/Off")                                                     \
    X(picklistMode, 1000, "Picklist Mode")                                                       \
    X(decodingIllumination, 1001, "Decoding Illumination")                                       \
    X(decodeAimingPattern, 1002, "Decode Aiming Pattern")                                        \
    X(multipleDecodeMode, 1003, "Multiple Decode Mode")                                          \
    X(triggerMode, 1004, "Trigger Mode")                                                         \
    X(decodeSessionTimeout, 1005, "Decode Session Timeout")                                      \
    X(lowLightMotionDetection, 1006, "Low Light Motion Detection")                               \
    X(transmitCodeIdCharacter, 1007, "Transmit Code ID Character")                               \
    X(transmitNoReadMessageOnOff, 1008, "Transmit No Read Message On/Off")                       \
    X(picklistTop, 1009, "Picklist Top")                                                         \
    X(picklistBottom, 1010, "Picklist Bottom")                                                   \
    X(picklistLeft, 1011, "Picklist Left")                                                       \
    X(picklistRight, 1012, "Picklist Right")

// A scan-engine parameter: 0 to 305 and 1000 to 1012.
ORV_ENUM(EngineParamId, uint64_t, ORV_ENGINE_PARAM_ID);

// The Zebra engines' parameters, one case per id of the Zebra subset of EngineParamId in
// ascending order; the raw value is the position in that subset. Each case has the name of its
// EngineParamId.
#define ORV_ZEBRA_PARAM_ID(X)                         \
    X(upcAOnOff, 0, "")                               \
    X(upcE0OnOff, 1, "")                              \
    X(upcE1OnOff, 2, "")                              \
    X(eanJan8OnOff, 3, "")                            \
    X(eanJan8CheckDigitOnOff, 4, "")                  \
    X(eanJan13OnOff, 5, "")                           \
    X(eanJan13CheckDigitOnOff, 6, "")                 \
    X(booklandEanOnOff, 7, "")                        \
    X(booklandIsbnFormat, 8, "")                      \
    X(issnEanOnOff, 9, "")                            \
    X(decodeUpcEanJanSupplementals, 10, "")           \
    X(userProgrammableSupplementals1, 11, "")         \
    X(userProgrammableSupplementals2, 12, "")         \
    X(upcEanJanSupplementalsRedundancy, 13, "")       \
    X(upcEanJanSupplementalsAimIdFormat, 14, "")      \
    X(eanSupplementals2OnOff, 15, "")                 \
    X(eanSupplementals5OnOff, 16, "")                 \
    X(upcACheckDigitOnOff, 17, "")                    \
    X(upcE0CheckDigitOnOff, 18, "")                   \
    X(upcE1CheckDigitOnOff, 19, "")                   \
    X(upcAPreamble, 20, "")                           \
    X(upcEPreamble, 21, "")                           \
    X(upcE1Preamble, 22, "")                          \
    X(convertUpcEToUpcA, 23, "")                      \
    X(convertUpcE1ToUpcA, 24, "")                     \
    X(eanJanZeroExtendOnOff, 25, "")                  \
    X(uccCouponExtendedCodeOnOff, 26, "")             \
    X(couponReport, 27, "")                           \
    X(upcReducedQuietZoneOnOff, 28, "")               \
    X(code128OnOff, 29, "")                           \
    X(code128Length1, 30, "")                         \
    X(code128Length2, 31, "")                         \
    X(gs1128OnOff, 32, "")                            \
    X(isbtConcatenationOnOff, 33, "")                 \
    X(isbtConcatenation, 34, "")                      \
    X(checkIsbtTableOnOff, 35, "")                    \
    X(isbtConcatenationRedundancy, 36, "")            \
    X(code128Fnc4OnOff, 37, "")                       \
    X(code128SecurityLevel, 38, "")                   \
    X(code128ReducedQuietZoneOnOff, 39, "")           \
    X(code39OnOff, 40, "")                            \
    X(triopticCodeOnOff, 41, "")                      \
    X(code32PharmaceuticalParafOnOff, 42, "")         \
    X(code32PrefixOnOff, 43, "")                      \
    X(code39Length1, 44, "")                          \
    X(code39Length2, 45, "")                          \
    X(code39CheckChar, 46, "")                        \
    X(transmitCode39CheckDigitOnOff, 47, "")          \
    X(code39FullAsciiOnOff, 48, "")                   \
    X(code39SecurityLevel, 49, "")                    \
    X(code39ReducedQuietZoneOnOff, 50, "")            \
    X(code93OnOff, 51, "")                            \
    X(code93Length1, 52, "")                          \
    X(code93Length2, 53, "")                          \
    X(code11OnOff, 54, "")                            \
    X(code11Length1, 55, "")                          \
    X(code11Length2, 56, "")                          \
    X(code11CheckDigit, 57, "")                       \
    X(transmitCode11CheckDigitOnOff, 58, "")          \
    X(interleaved2Of5OnOff, 59, "")                   \
    X(interleaved2Of5Length1, 60, "")                 \
    X(interleaved2Of5Length2, 61, "")                 \
    X(interleaved2Of5CheckDigit, 62, "")              \
    X(transmitInterleaved2Of5CheckDigitOnOff, 63, "") \
    X(convertInterleaved2Of5ToEan13OnOff, 64, "")     \
    X(interleaved2Of5SecurityLevel, 65, "")           \
    X(interleaved2Of5ReducedQuietZoneOnOff, 66, "")   \
    X(discrete2Of5OnOff, 67, "")                      \
    X(discrete2Of5Length1, 68, "")                    \
    X(discrete2Of5Length2, 69, "")                    \
    X(codabarOnOff, 70, "")                           \
    X(codabarLength1, 71, "")                         \
    X(codabarLength2, 72, "")                         \
    X(clsiEditingOnOff, 73, "")                       \
    X(notisEditingOnOff, 74, "")                      \
    X(codabarStartStopCharacterCase, 75, "")          \
    X(codabarSecurityLevel, 76, "")                   \
    X(msiOnOff, 77, "")                               \
    X(msiLength1, 78, "")                             \
    X(msiLength2, 79, "")                             \
    X(msiCheckChar, 80, "")                           \
    X(transmitMsiCheckDigitOnOff, 81, "")             \
    X(msiCheckDigitAlgorithmOnOff, 82, "")            \
    X(msiReducedQuietZoneOnOff, 83, "")               \
    X(chinese2Of5OnOff, 84, "")                       \
    X(korean3Of5OnOff, 85, "")                        \
    X(matrix2Of5OnOff, 86, "")                        \
    X(matrix2Of5Length1, 87, "")                      \
    X(matrix2Of5Length2, 88, "")                      \
    X(matrix2Of5Redundancy, 89, "")                   \
    X(matrix2Of5CheckDigitOnOff, 90, "")              \
    X(transmitMatrix2Of5CheckDigitOnOff, 91, "")      \
    X(inverse1d, 92, "")                              \
    X(gs1Databar14OnOff, 93, "")                      \
    X(gs1DatabarLimitedOnOff, 94, "")                 \
    X(gs1DatabarExpandedOnOff, 95, "")                \
    X(convertGs1DatabarToUpcEanJanOnOff, 96, "")      \
    X(gs1DatabarSecurityLevel, 97, "")                \
    X(gs1DatabarLimitedMarginCheck, 98, "")           \
    X(gs1DatabarExpandedSecurityLevel, 99, "")        \
    X(redundancyLevel, 100, "")                       \
    X(securityLevel, 101, "")                         \
    X(quietZoneLevel1d, 102, "")                      \
    X(intercharacterGapSize, 103, "")                 \
    X(escapeCharacters, 104, "")                      \
    X(compositeCcCOnOff, 105, "")                     \
    X(compositeCcABOnOff, 106, "")                    \
    X(tlc39OnOff, 107, "")                            \
    X(compositeInverseOnOff, 108, "")                 \
    X(upcCompositeMode, 109, "")                      \
    X(compositeBeepMode, 110, "")                     \
    X(gs1Emulation, 111, "")                          \
    X(pdf417OnOff, 112, "")                           \
    X(microPdf417OnOff, 113, "")                      \
    X(code128EmulationOnOff, 114, "")                 \
    X(dataMatrixOnOff, 115, "")                       \
    X(dataMatrixInverse, 116, "")                     \
    X(decodeDataMatrixMirrorImages, 117, "")          \
    X(gs1DataMatrixOnOff, 118, "")                    \
    X(maxicodeOnOff, 119, "")                         \
    X(qrCodeOnOff, 120, "")                           \
    X(microQrCodeOnOff, 121, "")                      \
    X(gs1QrCodeOnOff, 122, "")                        \
    X(linkedQrMode, 123, "")                          \
    X(aztecCodeOnOff, 124, "")                        \
    X(aztecInverse, 125, "")                          \
    X(hanXinCodeOnOff, 126, "")                       \
    X(hanXinInverse, 127, "")                         \
    X(gridMatrixOnOff, 128, "")                       \
    X(gridMatrixInverse, 129, "")                     \
    X(gridMatrixMirror, 130, "")                      \
    X(dotcodeOnOff, 131, "")                          \
    X(dotCodeInverse, 132, "")                        \
    X(dotCodeMirror, 133, "")                         \
    X(dotCodePrioritizeOnOff, 134, "")                \
    X(engineOrientationOnOff, 135, "")                \
    X(continuousBarCodeReadOnOff, 136, "")            \
    X(usPostnetOnOff, 137, "")                        \
    X(usPlanetOnOff, 138, "")                         \
    X(transmitUsPostalCheckDigitOnOff, 139, "")       \
    X(ukPostalOnOff, 140, "")                         \
    X(transmitUkPostalCheckDigitOnOff, 141, "")       \
    X(japanPostalOnOff, 142, "")                      \
    X(australiaPostOnOff, 143, "")                    \
    X(australiaPostFormat, 144, "")                   \
    X(netherlandsKixCodeOnOff, 145, "")               \
    X(usps4cbOneCodeIntelligentMailOnOff, 146, "")    \
    X(upuFicsPostalOnOff, 147, "")                    \
    X(febrabanOnOff, 148, "")                         \
    X(codabarMod16CheckDigitOnOff, 149, "")           \
    X(transmitCodabarCheckDigitOnOff, 150, "")        \
    X(macroPdfSymbols, 151, "")                       \
    X(transmitMacroPdfControlHeaderOnOff, 152, "")    \
    X(mailmarkOnOff, 153, "")                         \
    X(picklistMode, 154, "")                          \
    X(decodingIllumination, 155, "")                  \
    X(decodeAimingPattern, 156, "")                   \
    X(multipleDecodeMode, 157, "")                    \
    X(triggerMode, 158, "")                           \
    X(decodeSessionTimeout, 159, "")                  \
    X(lowLightMotionDetection, 160, "")               \
    X(transmitCodeIdCharacter, 161, "")               \
    X(transmitNoReadMessageOnOff, 162, "")

ORV_ENUM(ZebraParamId, unsigned, ORV_ZEBRA_PARAM_ID);

#define ORV_ZEBRA_SUBSET_ID_(name, position, text) EngineParamId::name,

// The ids that the Zebra engines have a parameter for, ascending; index = position.
inline constexpr std::array<EngineParamId, 163> zebraSubset = {
    ORV_ZEBRA_PARAM_ID(ORV_ZEBRA_SUBSET_ID_)};

#undef ORV_ZEBRA_SUBSET_ID_

// Position of `id` in the Zebra subset, or no value for an id outside it.
std::optional<std::size_t> zebraPosition(EngineParamId id);

// The Zebra parameter of `id`, or no value for an id the Zebra engines lack.
std::optional<ZebraParamId> toZebraParamId(EngineParamId id);

// The id of a Zebra parameter; defined for every case. A value outside the table (only
// reachable through a cast) throws ReaderException 0x5002.
EngineParamId toEngineParamId(ZebraParamId zebraId);

}  // namespace orvane
