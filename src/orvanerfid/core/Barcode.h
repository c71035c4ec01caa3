#pragma once

// Barcode symbologies, their coarse classes and the scan-engine models, with the conversions
// from the symbology codes that Zebra and Honeywell engines report with a barcode.
// All values and lookups are immutable; safe on any thread.

#include <cstdint>
#include <optional>
#include <string_view>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_BARCODE_TYPE(X)    \
    X(oneD, 0, "1D Symbology") \
    X(twoD, 1, "2D Symbology") \
    X(postal, 2, "Postal")

// Coarse class of a symbology.
ORV_ENUM(BarcodeType, uint8_t, ORV_BARCODE_TYPE);

#define ORV_ENGINE_MODEL(X)  \
    X(unknown, 0, "Unknown") \
    X(SE4770, 1, "SE4770")   \
    X(SE4107, 2, "SE4107")   \
    X(SE2707, 3, "SE2707")   \
    X(SE965, 4, "SE965")     \
    X(SE4850, 5, "SE4850")   \
    X(N4603, 6, "N4603")     \
    X(N6703, 7, "N6703")     \
    X(N6803, 8, "N6803")     \
    X(XL3030, 9, "XL3030")   \
    X(SE5500, 10, "SE5500")  \
    X(N5703, 11, "N5703")

// The scan engine fitted in a reader; the description is the engine's model name.
ORV_ENUM(EngineModel, uint8_t, ORV_ENGINE_MODEL);

// Symbology rows: ROW(X, case, raw value, description, class), where the class is a
// BarcodeType case or `none`. Case names are the descriptions in lower camel case ("+" reads as
// "Plus").
#define ORV_BARCODE_ID_ROWS(ROW, X)                                                                \
    ROW(X, unknown, 0, "Unknown", none)                                                            \
    ROW(X, code39, 1, "Code 39", oneD)                                                             \
    ROW(X, codabar, 2, "Codabar", oneD)                                                            \
    ROW(X, code128, 3, "Code 128", oneD)                                                           \
    ROW(X, discrete2Of5, 4, "Discrete 2 of 5", oneD)                                               \
    ROW(X, iata2Of5, 5, "IATA 2 of 5", oneD)                                                       \
    ROW(X, interleaved2Of5, 6, "Interleaved 2 of 5", oneD)                                         \
    ROW(X, code93, 7, "Code 93", oneD)                                                             \
    ROW(X, upcA, 8, "UPC-A", oneD)                                                                 \
    ROW(X, upcE, 9, "UPC-E", oneD)                                                                 \
    ROW(X, ean8, 10, "EAN-8", oneD)                                                                \
    ROW(X, ean13, 11, "EAN-13", oneD)                                                              \
    ROW(X, code11, 12, "Code 11", oneD)                                                            \
    ROW(X, code49, 13, "Code 49", twoD)                                                            \
    ROW(X, msi, 14, "MSI", oneD)                                                                   \
    ROW(X, gs1128, 15, "GS1-128", oneD)                                                            \
    ROW(X, upcE1, 16, "UPC-E1", oneD)                                                              \
    ROW(X, pdf417, 17, "PDF417", twoD)                                                             \
    ROW(X, code16k, 18, "Code 16K", twoD)                                                          \
    ROW(X, code39FullAscii, 19, "Code 39 Full ASCII", oneD)                                        \
    ROW(X, upcD, 20, "UPC-D", oneD)                                                                \
    ROW(X, triopticCode39, 21, "Trioptic Code 39", oneD)                                           \
    ROW(X, booklandEan, 22, "Bookland EAN", oneD)                                                  \
    ROW(X, couponCode, 23, "Coupon Code", oneD)                                                    \
    ROW(X, nw7, 24, "NW-7", oneD)                                                                  \
    ROW(X, isbt128, 25, "ISBT-128", oneD)                                                          \
    ROW(X, microPdf, 26, "Micro PDF", twoD)                                                        \
    ROW(X, dataMatrix, 27, "Data Matrix", twoD)                                                    \
    ROW(X, qrCode, 28, "QR Code", twoD)                                                            \
    ROW(X, microPdfCca, 29, "Micro PDF CCA", twoD)                                                 \
    ROW(X, postnetUs, 30, "Postnet US", postal)                                                    \
    ROW(X, planetUs, 31, "Planet US", postal)                                                      \
    ROW(X, code32, 32, "Code 32", oneD)                                                            \
    ROW(X, isbt128Concatenation, 33, "ISBT-128 Concatenation", oneD)                               \
    ROW(X, postalJapan, 34, "Postal Japan", postal)                                                \
    ROW(X, postalAustralia, 35, "Postal Australia", postal)                                        \
    ROW(X, postalDutch, 36, "Postal Dutch", postal)                                                \
    ROW(X, maxicode, 37, "MaxiCode", twoD)                                                         \
    ROW(X, postbarCanada, 38, "Postbar Canada", postal)                                            \
    ROW(X, postalUk, 39, "Postal UK", postal)                                                      \
    ROW(X, macroPdf417, 40, "Macro PDF417", twoD)                                                  \
    ROW(X, macroQrCode, 41, "Macro QR Code", twoD)                                                 \
    ROW(X, microQrCode, 44, "Micro QR Code", twoD)                                                 \
    ROW(X, aztecCode, 45, "Aztec Code", twoD)                                                      \
    ROW(X, aztecRuneCode, 46, "Aztec Rune Code", twoD)                                             \
    ROW(X, frenchLottery, 47, "French Lottery", oneD)                                              \
    ROW(X, gs1Databar14, 48, "GS1 DataBar-14", oneD)                                               \
    ROW(X, gs1DatabarLimited, 49, "GS1 DataBar Limited", oneD)                                     \
    ROW(X, gs1DatabarExpanded, 50, "GS1 DataBar Expanded", oneD)                                   \
    ROW(X, fourStateUs, 52, "Four State US", postal)                                               \
    ROW(X, fourStateUs4, 53, "Four State US 4", postal)                                            \
    ROW(X, issn, 54, "ISSN", oneD)                                                                 \
    ROW(X, scanletWebcode, 55, "Scanlet Webcode", oneD)                                            \
    ROW(X, cuecatCode, 56, "CueCAT Code", oneD)                                                    \
    ROW(X, upcAPlus2, 72, "UPC-A + 2", oneD)                                                       \
    ROW(X, upcEPlus2, 73, "UPC-E + 2", oneD)                                                       \
    ROW(X, ean8Plus2, 74, "EAN-8 + 2", oneD)                                                       \
    ROW(X, ean13Plus2, 75, "EAN-13 + 2", oneD)                                                     \
    ROW(X, upcE1Plus2, 80, "UPC-E1 + 2", oneD)                                                     \
    ROW(X, compositeCcAPlusGs1128, 81, "Composite CC-A + GS1-128", oneD)                           \
    ROW(X, compositeCcAPlusEan13, 82, "Composite CC-A + EAN-13", oneD)                             \
    ROW(X, compositeCcAPlusEan8, 83, "Composite CC-A + EAN-8", oneD)                               \
    ROW(X, compositeCcAPlusGs1DatabarExpanded, 84, "Composite CC-A + GS1 DataBar Expanded", oneD)  \
    ROW(X, compositeCcAPlusGs1DatabarLimited, 85, "Composite CC-A + GS1 DataBar Limited", oneD)    \
    ROW(X, compositeCcAPlusGs1Databar14, 86, "Composite CC-A + GS1 DataBar-14", oneD)              \
    ROW(X, compositeCcAPlusUpcA, 87, "Composite CC-A + UPC-A", oneD)                               \
    ROW(X, compositeCcAPlusUpcE, 88, "Composite CC-A + UPC-E", oneD)                               \
    ROW(X, compositeCcCPlusGs1128, 89, "Composite CC-C + GS1-128", oneD)                           \
    ROW(X, tlc39, 90, "TLC-39", oneD)                                                              \
    ROW(X, compositeCcBPlusGs1128, 97, "Composite CC-B + GS1-128", oneD)                           \
    ROW(X, compositeCcBPlusEan13, 98, "Composite CC-B + EAN-13", oneD)                             \
    ROW(X, compositeCcBPlusEan8, 99, "Composite CC-B + EAN-8", oneD)                               \
    ROW(X, compositeCcBPlusGs1DatabarExpanded, 100, "Composite CC-B + GS1 DataBar Expanded", oneD) \
    ROW(X, compositeCcBPlusGs1DatabarLimited, 101, "Composite CC-B + GS1 DataBar Limited", oneD)   \
    ROW(X, compositeCcBPlusGs1Databar14, 102, "Composite CC-B + GS1 DataBar-14", oneD)             \
    ROW(X, compositeCcBPlusUpcA, 103, "Composite CC-B + UPC-A", oneD)                              \
    ROW(X, compositeCcBPlusUpcE, 104, "Composite CC-B + UPC-E", oneD)                              \
    ROW(X, matrix2Of5, 113, "Matrix 2 of 5", oneD)                                                 \
    ROW(X, chinese2Of5, 114, "Chinese 2 of 5", postal)                                             \
    ROW(X, korean3Of5, 115, "Korean 3 of 5", postal)                                               \
    ROW(X, upcAPlus5, 136, "UPC-A + 5", oneD)                                                      \
    ROW(X, upcEPlus5, 137, "UPC-E + 5", oneD)                                                      \
    ROW(X, ean8Plus5, 138, "EAN-8 + 5", oneD)                                                      \
    ROW(X, ean13Plus5, 139, "EAN-13 + 5", oneD)                                                    \
    ROW(X, upcE1Plus5, 144, "UPC-E1 + 5", oneD)                                                    \
    ROW(X, multipacketFormat, 153, "Multipacket Format", none)                                     \
    ROW(X, macroMicroPdf, 154, "Macro Micro PDF", twoD)                                            \
    ROW(X, ocrb, 160, "OCRB", oneD)                                                                \
    ROW(X, rssGs1DatabarExpandedCoupon, 180, "RSS GS1 DataBar Expanded Coupon", oneD)              \
    ROW(X, hanXin, 183, "Han Xin", twoD)                                                           \
    ROW(X, gs1Datamatrix, 193, "GS1 DataMatrix", twoD)                                             \
    ROW(X, telepen, 256, "Telepen", oneD)                                                          \
    ROW(X, nec2Of5, 257, "NEC 2 of 5", oneD)                                                       \
    ROW(X, postal4i, 258, "Postal-4i", postal)                                                     \
    ROW(X, straight2Of5, 259, "Straight 2 of 5", oneD)                                             \
    ROW(X, codablockA, 260, "Codablock A", twoD)                                                   \
    ROW(X, codablockF, 261, "Codablock F", twoD)                                                   \
    ROW(X, labelCode, 262, "Label Code", oneD)                                                     \
    ROW(X, dotcode, 263, "DotCode", twoD)                                                          \
    ROW(X, gridMatrix, 264, "Grid Matrix", twoD)                                                   \
    ROW(X, infoMail, 265, "Info Mail", twoD)                                                       \
    ROW(X, intelligentMail, 266, "Intelligent Mail", twoD)                                         \
    ROW(X, britishPost, 267, "British Post", twoD)                                                 \
    ROW(X, koreaPost, 268, "Korea Post", oneD)                                                     \
    ROW(X, chinaPost, 269, "China Post", oneD)                                                     \
    ROW(X, kixPost, 270, "KIX Post", twoD)                                                         \
    ROW(X, gs1QrCode, 271, "GS1 QR Code", twoD)                                                    \
    ROW(X, mailmark, 272, "Mailmark", postal)

#define ORV_BARCODE_ID_ENUM_ROW_(X, name, raw, text, type) X(name, raw, text)
#define ORV_BARCODE_ID(X) ORV_BARCODE_ID_ROWS(ORV_BARCODE_ID_ENUM_ROW_, X)

// Symbology of a scanned barcode. Raw values have gaps; none lies above 272.
ORV_ENUM(BarcodeId, uint64_t, ORV_BARCODE_ID);

// The code-identifier character that a Honeywell engine sends ahead of scanned data; the raw
// value is the character. Each case is named after the symbology it stands for.
#define ORV_HONEYWELL_CODE_ID(X)   \
    X(unknown, 0x00, "")           \
    X(infoMail, 0x2C, "")          \
    X(dotcode, 0x2E, "")           \
    X(code32, 0x3C, "")            \
    X(triopticCode39, 0x3D, "")    \
    X(labelCode, 0x3E, "")         \
    X(koreaPost, 0x3F, "")         \
    X(postalAustralia, 0x41, "")   \
    X(britishPost, 0x42, "")       \
    X(postbarCanada, 0x43, "")     \
    X(ean8, 0x44, "")              \
    X(upcE, 0x45, "")              \
    X(hanXin, 0x48, "")            \
    X(gs1128, 0x49, "")            \
    X(postalJapan, 0x4A, "")       \
    X(kixPost, 0x4B, "")           \
    X(planetUs, 0x4C, "")          \
    X(intelligentMail, 0x4D, "")   \
    X(postal4i, 0x4E, "")          \
    X(postnetUs, 0x50, "")         \
    X(chinaPost, 0x51, "")         \
    X(microPdf, 0x52, "")          \
    X(tlc39, 0x54, "")             \
    X(codablockA, 0x56, "")        \
    X(gridMatrix, 0x58, "")        \
    X(nec2Of5, 0x59, "")           \
    X(codabar, 0x61, "")           \
    X(code39, 0x62, "")            \
    X(upcA, 0x63, "")              \
    X(ean13, 0x64, "")             \
    X(interleaved2Of5, 0x65, "")   \
    X(straight2Of5, 0x66, "")      \
    X(msi, 0x67, "")               \
    X(code11, 0x68, "")            \
    X(code93, 0x69, "")            \
    X(code128, 0x6A, "")           \
    X(code49, 0x6C, "")            \
    X(matrix2Of5, 0x6D, "")        \
    X(codablockF, 0x71, "")        \
    X(pdf417, 0x72, "")            \
    X(qrCode, 0x73, "")            \
    X(telepen, 0x74, "")           \
    X(dataMatrix, 0x77, "")        \
    X(maxicode, 0x78, "")          \
    X(gs1Databar14, 0x79, "")      \
    X(aztecCode, 0x7A, "")         \
    X(gs1DatabarLimited, 0x7B, "") \
    X(gs1DatabarExpanded, 0x7D, "")

ORV_ENUM(HoneywellCodeId, uint8_t, ORV_HONEYWELL_CODE_ID);

// The symbology a Honeywell code-identifier character stands for.
ORVANE_API BarcodeId toBarcodeId(HoneywellCodeId code);

// The symbology's class; no value for `unknown` and `multipacketFormat`.
ORVANE_API std::optional<BarcodeType> type(BarcodeId id);

// The engine's staging barcode: 0x00 followed by the model's raw value.
ORVANE_API Bytes stagingBarcode(EngineModel model);

// The model whose description equals `name` ignoring ASCII letter case (no trimming); `unknown`
// when none does. Internal.
EngineModel engineModelFromName(std::string_view name);

// Symbology of a Zebra engine's code byte, or no value for a byte the Zebra engines do not use.
// Internal.
std::optional<BarcodeId> barcodeIdFromZebraCode(uint8_t code);

// Symbology of a Honeywell engine's code-identifier character, or no value for a character the
// Honeywell engines do not use. Internal.
std::optional<BarcodeId> barcodeIdFromHoneywellCode(uint8_t code);

}  // namespace orvane
