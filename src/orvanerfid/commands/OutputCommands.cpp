// The keyboard output, batch data and Bluetooth commands are declared whole in their header;
// this unit makes the library compile them on their own.
#include "orvanerfid/commands/OutputCommands.h"
