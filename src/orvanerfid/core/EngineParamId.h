#pragma once

// Barcode scan-engine parameter identifiers, and the Zebra engines' parameter numbers for their
// subset of them.
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

// The Zebra engines' parameters. The raw value is the engine's own parameter number; the last
// column is the EngineParamId of the parameter. Cases follow the ids in ascending order, so the
// k-th case is the Zebra form of the k-th id of the Zebra subset. Case names are the engines'.
#define ORV_ZEBRA_PARAM_ID(X)                                                         \
    X(UPCA, 1, "", upcAOnOff)                                                         \
    X(UPCE, 2, "", upcE0OnOff)                                                        \
    X(UPCE1, 12, "", upcE1OnOff)                                                      \
    X(EAN8_JAN8, 4, "", eanJan8OnOff)                                                 \
    X(TransmitEAN8CheckDigit, 1881, "", eanJan8CheckDigitOnOff)                       \
    X(EAN13_JAN13, 3, "", eanJan13OnOff)                                              \
    X(TransmitEAN13CheckDigit, 1882, "", eanJan13CheckDigitOnOff)                     \
    X(BooklandEAN, 83, "", booklandEanOnOff)                                          \
    X(BooklandISBNFormat, 576, "", booklandIsbnFormat)                                \
    X(ISSNEAN, 617, "", issnEanOnOff)                                                 \
    X(DecodeUPC_EAN_JANSupplementals, 16, "", decodeUpcEanJanSupplementals)           \
    X(UserProgrammableSupplementals1, 579, "", userProgrammableSupplementals1)        \
    X(UserProgrammableSupplementals2, 580, "", userProgrammableSupplementals2)        \
    X(UPC_EAN_JANSupplementalRedundancy, 80, "", upcEanJanSupplementalsRedundancy)    \
    X(UPC_EAN_JANSupplementalAIMIDFormat, 672, "", upcEanJanSupplementalsAimIdFormat) \
    X(EANSupplemental2, 207, "", eanSupplementals2OnOff)                              \
    X(EANSupplemental5, 208, "", eanSupplementals5OnOff)                              \
    X(TransmitUPCACheckDigit, 40, "", upcACheckDigitOnOff)                            \
    X(TransmitUPCECheckDigit, 41, "", upcE0CheckDigitOnOff)                           \
    X(TransmitUPCE1CheckDigit, 42, "", upcE1CheckDigitOnOff)                          \
    X(UPCAPreamble, 34, "", upcAPreamble)                                             \
    X(UPCEPreamble, 35, "", upcEPreamble)                                             \
    X(UPCE1Preamble, 36, "", upcE1Preamble)                                           \
    X(ConvertUPCEtoUPCA, 37, "", convertUpcEToUpcA)                                   \
    X(ConvertUPCE1toUPCA, 38, "", convertUpcE1ToUpcA)                                 \
    X(EAN_JANZeroExtend, 39, "", eanJanZeroExtendOnOff)                               \
    X(UCCCouponExtendedCode, 85, "", uccCouponExtendedCodeOnOff)                      \
    X(CouponReport, 730, "", couponReport)                                            \
    X(UPCReducedQuietZone, 1289, "", upcReducedQuietZoneOnOff)                        \
    X(Code128, 8, "", code128OnOff)                                                   \
    X(Code128Length1, 209, "", code128Length1)                                        \
    X(Code128Length2, 210, "", code128Length2)                                        \
    X(GS1128, 14, "", gs1128OnOff)                                                    \
    X(ISBT128, 84, "", isbtConcatenationOnOff)                                        \
    X(ISBTConcatenation, 577, "", isbtConcatenation)                                  \
    X(CheckISBTTable, 578, "", checkIsbtTableOnOff)                                   \
    X(ISBTConcatenationRedundancy, 223, "", isbtConcatenationRedundancy)              \
    X(Code128FNC4, 1254, "", code128Fnc4OnOff)                                        \
    X(Code128SecurityLevel, 751, "", code128SecurityLevel)                            \
    X(Code128ReducedQuietZone, 1208, "", code128ReducedQuietZoneOnOff)                \
    X(Code39, 0, "", code39OnOff)                                                     \
    X(TriopticCode39, 13, "", triopticCodeOnOff)                                      \
    X(ConvertCode39toCode32, 86, "", code32PharmaceuticalParafOnOff)                  \
    X(Code32Prefix, 231, "", code32PrefixOnOff)                                       \
    X(Code39Length1, 18, "", code39Length1)                                           \
    X(Code39Length2, 19, "", code39Length2)                                           \
    X(Code39CheckDigitVerification, 48, "", code39CheckChar)                          \
    X(TransmitCode39CheckDigit, 43, "", transmitCode39CheckDigitOnOff)                \
    X(Code39FullASCIIConversion, 17, "", code39FullAsciiOnOff)                        \
    X(Code39SecurityLevel, 750, "", code39SecurityLevel)                              \
    X(Code39ReducedQuietZone, 1209, "", code39ReducedQuietZoneOnOff)                  \
    X(Code93, 9, "", code93OnOff)                                                     \
    X(Code93Length1, 26, "", code93Length1)                                           \
    X(Code93Length2, 27, "", code93Length2)                                           \
    X(Code11, 10, "", code11OnOff)                                                    \
    X(Code11Length1, 28, "", code11Length1)                                           \
    X(Code11Length2, 29, "", code11Length2)                                           \
    X(Code11CheckDigitVerfication, 52, "", code11CheckDigit)                          \
    X(TransmitCode11CheckDigit, 47, "", transmitCode11CheckDigitOnOff)                \
    X(Interleaved2of5, 6, "", interleaved2Of5OnOff)                                   \
    X(Interleaved2of5Length1, 22, "", interleaved2Of5Length1)                         \
    X(Interleaved2of5Length2, 23, "", interleaved2Of5Length2)                         \
    X(I2of5CheckDigitVerification, 49, "", interleaved2Of5CheckDigit)                 \
    X(TransmitI2of5CheckDigit, 44, "", transmitInterleaved2Of5CheckDigitOnOff)        \
    X(ConvertI2of5toEAN13, 82, "", convertInterleaved2Of5ToEan13OnOff)                \
    X(I2of5SecurityLevel, 1121, "", interleaved2Of5SecurityLevel)                     \
    X(I2of5ReducedQuietZone, 1210, "", interleaved2Of5ReducedQuietZoneOnOff)          \
    X(Discrete2of5, 5, "", discrete2Of5OnOff)                                         \
    X(Discrete2of5Length1, 20, "", discrete2Of5Length1)                               \
    X(Discrete2of5Length2, 21, "", discrete2Of5Length2)                               \
    X(Codabar, 7, "", codabarOnOff)                                                   \
    X(CodabarLength1, 24, "", codabarLength1)                                         \
    X(CodabarLength2, 25, "", codabarLength2)                                         \
    X(CLSIEditing, 54, "", clsiEditingOnOff)                                          \
    X(NOTISEditing, 55, "", notisEditingOnOff)                                        \
    X(CodabarStartStopCharacterCase, 855, "", codabarStartStopCharacterCase)          \
    X(CodabarSecurityLevel, 1776, "", codabarSecurityLevel)                           \
    X(MSI, 11, "", msiOnOff)                                                          \
    X(MSILength1, 30, "", msiLength1)                                                 \
    X(MSILength2, 31, "", msiLength2)                                                 \
    X(MSICheckDigit, 50, "", msiCheckChar)                                            \
    X(TransmitMSICheckDigit, 46, "", transmitMsiCheckDigitOnOff)                      \
    X(MSICheckDigitAlgorithm, 51, "", msiCheckDigitAlgorithmOnOff)                    \
    X(MSIReducedQuietZone, 1392, "", msiReducedQuietZoneOnOff)                        \
    X(Chinese2of5, 408, "", chinese2Of5OnOff)                                         \
    X(Korean3of5, 581, "", korean3Of5OnOff)                                           \
    X(Matrix2of5, 618, "", matrix2Of5OnOff)                                           \
    X(Matrix2of5Length1, 619, "", matrix2Of5Length1)                                  \
    X(Matrix2of5Length2, 620, "", matrix2Of5Length2)                                  \
    X(Matrix2of5Redundancy, 621, "", matrix2Of5Redundancy)                            \
    X(Matrix2of5CheckDigit, 622, "", matrix2Of5CheckDigitOnOff)                       \
    X(TransmitMatrix2of5CheckDigit, 623, "", transmitMatrix2Of5CheckDigitOnOff)       \
    X(Inverse1D, 586, "", inverse1d)                                                  \
    X(GS1DataBar14, 338, "", gs1Databar14OnOff)                                       \
    X(GS1DataBarLimited, 339, "", gs1DatabarLimitedOnOff)                             \
    X(GS1DataBarExpanded, 340, "", gs1DatabarExpandedOnOff)                           \
    X(ConvertGS1DataBartoUPC_EAN_JAN, 397, "", convertGs1DatabarToUpcEanJanOnOff)     \
    X(GS1DataBarSecurityLevel, 1706, "", gs1DatabarSecurityLevel)                     \
    X(GS1DataBarLimitedMarginCheck, 728, "", gs1DatabarLimitedMarginCheck)            \
    X(GS1DataBarExpandedSecurityLevel, 1707, "", gs1DatabarExpandedSecurityLevel)     \
    X(RedundancyLevel, 78, "", redundancyLevel)                                       \
    X(SecurityLevel, 77, "", securityLevel)                                           \
    X(QuietZoneLevel1D, 1288, "", quietZoneLevel1d)                                   \
    X(IntercharacterGapSize, 381, "", intercharacterGapSize)                          \
    X(EscapeCharacters, 233, "", escapeCharacters)                                    \
    X(CompositeCCC, 341, "", compositeCcCOnOff)                                       \
    X(CompositeCCA_B, 342, "", compositeCcABOnOff)                                    \
    X(CompositeTLC39, 371, "", tlc39OnOff)                                            \
    X(CompositeInverse, 1113, "", compositeInverseOnOff)                              \
    X(UPCCompositeMode, 344, "", upcCompositeMode)                                    \
    X(CompositeBeepMode, 398, "", compositeBeepMode)                                  \
    X(GS1128EmulationModeForUCC_EANCompositeCodes, 427, "", gs1Emulation)             \
    X(PDF417, 15, "", pdf417OnOff)                                                    \
    X(MicroPDF417, 227, "", microPdf417OnOff)                                         \
    X(Code128Emulation, 123, "", code128EmulationOnOff)                               \
    X(DataMatrix, 292, "", dataMatrixOnOff)                                           \
    X(DataMatrixInverse, 588, "", dataMatrixInverse)                                  \
    X(DecodeDataMatrixMirrorImages, 537, "", decodeDataMatrixMirrorImages)            \
    X(GS1DataMatrix, 1336, "", gs1DataMatrixOnOff)                                    \
    X(MaxiCode, 294, "", maxicodeOnOff)                                               \
    X(QRCode, 293, "", qrCodeOnOff)                                                   \
    X(MicroQR, 573, "", microQrCodeOnOff)                                             \
    X(GS1QRCode, 1343, "", gs1QrCodeOnOff)                                            \
    X(LinkedQRMode, 1847, "", linkedQrMode)                                           \
    X(Aztec, 574, "", aztecCodeOnOff)                                                 \
    X(AztecInverse, 589, "", aztecInverse)                                            \
    X(HanXin, 1167, "", hanXinCodeOnOff)                                              \
    X(HanXinInverse, 1168, "", hanXinInverse)                                         \
    X(GridMatrix, 1718, "", gridMatrixOnOff)                                          \
    X(GridMatrixInverse, 1719, "", gridMatrixInverse)                                 \
    X(GridMatrixMirror, 1736, "", gridMatrixMirror)                                   \
    X(DotCode, 1906, "", dotcodeOnOff)                                                \
    X(DotCodeInverse, 1907, "", dotCodeInverse)                                       \
    X(DotCodeMirror, 1908, "", dotCodeMirror)                                         \
    X(DotCodePrioritize, 1937, "", dotCodePrioritizeOnOff)                            \
    X(EngineOrientation, 624, "", engineOrientationOnOff)                             \
    X(ContinuousBarCodeRead, 649, "", continuousBarCodeReadOnOff)                     \
    X(USPostnet, 89, "", usPostnetOnOff)                                              \
    X(USPlanet, 90, "", usPlanetOnOff)                                                \
    X(TransmitUSPostalCheckDigit, 95, "", transmitUsPostalCheckDigitOnOff)            \
    X(UKPostal, 91, "", ukPostalOnOff)                                                \
    X(TransmitUKPostalCheckDigit, 96, "", transmitUkPostalCheckDigitOnOff)            \
    X(JapanPostal, 290, "", japanPostalOnOff)                                         \
    X(AustraliaPost, 291, "", australiaPostOnOff)                                     \
    X(AustraliaPostFormat, 718, "", australiaPostFormat)                              \
    X(NetherlandsKIXCode, 326, "", netherlandsKixCodeOnOff)                           \
    X(USPS4CB_OneCode_IntelligentMail, 592, "", usps4cbOneCodeIntelligentMailOnOff)   \
    X(UPUFICSPostal, 611, "", upuFicsPostalOnOff)                                     \
    X(Febraban, 1750, "", febrabanOnOff)                                              \
    X(CodabarMod16CheckDigit, 1784, "", codabarMod16CheckDigitOnOff)                  \
    X(TransmitCodabarCheckDigit, 704, "", transmitCodabarCheckDigitOnOff)             \
    X(MacroPDFSymbols, 188, "", macroPdfSymbols)                                      \
    X(TransmitMacroPDFControlHeader, 184, "", transmitMacroPdfControlHeaderOnOff)     \
    X(Mailmark, 1337, "", mailmarkOnOff)                                              \
    X(PicklistMode, 402, "", picklistMode)                                            \
    X(DecodingIllumination, 298, "", decodingIllumination)                            \
    X(DecodeAimingPattern, 306, "", decodeAimingPattern)                              \
    X(MultiDecodeMode, 900, "", multipleDecodeMode)                                   \
    X(TriggerMode, 138, "", triggerMode)                                              \
    X(DecodeSessionTimeout, 136, "", decodeSessionTimeout)                            \
    X(LowLightMotionDetection, 810, "", lowLightMotionDetection)                      \
    X(TransmitCodeIDCharacter, 45, "", transmitCodeIdCharacter)                       \
    X(TransmitNoReadMessage, 94, "", transmitNoReadMessageOnOff)

ORV_ENUM(ZebraParamId, int, ORV_ZEBRA_PARAM_ID);

#define ORV_ZEBRA_SUBSET_ID_(name, number, text, id) EngineParamId::id,

// The ids that the Zebra engines have a parameter for, ascending; index = position.
inline constexpr std::array<EngineParamId, 163> zebraSubset = {
    ORV_ZEBRA_PARAM_ID(ORV_ZEBRA_SUBSET_ID_)};

#undef ORV_ZEBRA_SUBSET_ID_

// The two parameters whose value is a 16-bit word (high byte first); every other Zebra
// parameter carries one byte.
constexpr bool carriesWord(ZebraParamId id) {
    return id == ZebraParamId::UserProgrammableSupplementals1 ||
           id == ZebraParamId::UserProgrammableSupplementals2;
}

// Position of `id` in the Zebra subset, or no value for an id outside it.
std::optional<std::size_t> zebraPosition(EngineParamId id);

// The Zebra parameter of `id`, or no value for an id the Zebra engines lack.
std::optional<ZebraParamId> toZebraParamId(EngineParamId id);

// The id of a Zebra parameter; defined for every case. A value outside the table (only
// reachable through a cast) throws ReaderException 0x5002.
EngineParamId toEngineParamId(ZebraParamId zebraId);

}  // namespace orvane
