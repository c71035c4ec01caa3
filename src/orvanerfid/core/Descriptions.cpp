// Display-text lookups of Utilities.

#include "orvanerfid/core/Utilities.h"

namespace orvane {

// Each lookup: {operation, enumeration, parameter name}.
#define ORV_DESCRIPTION_LOOKUPS(X)                        \
    X(getActionStateDescription, ActionState, with)       \
    X(getKeyIDDescription, KeyID, with)                   \
    X(getResultCodeDescription, ResultCode, from)         \
    X(getDeviceTypeDescription, DeviceType, from)         \
    X(getUhfModuleTypeDescription, UhfModuleType, from)   \
    X(getConnectStateDescription, ConnectState, from)     \
    X(getNotificationIDDescription, NotificationID, from) \
    X(getBeeperVolumeDescription, BeeperVolume, with)     \
    X(getSkuTypeDescription, SkuType, with)               \
    X(getReadModeDescription, ReadMode, with)             \
    X(getFindDeviceModeDescription, FindDeviceMode, with) \
    X(getOperatingModeDescription, OperatingMode, with)   \
    X(getDataFormatDescription, DataFormat, with)         \
    X(getDataInfoDescription, DataInfo, with)             \
    X(getDataTerminatorDescription, DataTerminator, with) \
    X(getTagUniqueDescription, TagUnique, with)           \
    X(getBankTypeDescription, BankType, with)             \
    X(getLockStateDescription, LockState, with)           \
    X(getGlobalBandTypeDescription, GlobalBandType, with) \
    X(getAlgorithmTypeDescription, AlgorithmType, with)   \
    X(getTargetDescription, Target, with)                 \
    X(getSessionDescription, Session, with)               \
    X(getMaskTargetDescription, MaskTarget, with)         \
    X(getMaskActionDescription, MaskAction, with)         \
    X(getEncodingDescription, Encoding, with)             \
    X(getTariTypeDescription, TariType, with)             \
    X(getBlfTypeDescription, BlfType, with)

#define ORV_DEFINE_LOOKUP_(operation, Enum, parameter)      \
    std::string Utilities::operation(Enum parameter) {      \
        return std::string(orvane::description(parameter)); \
    }

ORV_DESCRIPTION_LOOKUPS(ORV_DEFINE_LOOKUP_)

#undef ORV_DEFINE_LOOKUP_
#undef ORV_DESCRIPTION_LOOKUPS

DeviceType Utilities::getDeviceType(std::string_view with) {
    return fromDescriptionIgnoringCase<DeviceType>(with).value_or(DeviceType::unknown);
}

}  // namespace orvane
