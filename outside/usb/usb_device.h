// The device library "usb" (file libusb-orvik.so in the program's folder) as
// the program calls it: one export, ORVIKCreateInstance, which hands out the
// root object; the program calls the root by slot number and reads each
// device object it is given through a fixed layout.
//
// Root slots the program calls:
//   4  SetDeviceFilter(0, filter): the filter is asked (vendor id, product
//      id) about every device before it is reported; 0 drops the device.
//   6  EnumDevices(proc, context): calls `proc` once for every device, before
//      it returns. The device object lives only for the duration of the call.
// Device slot 4 (IsStorage) answers non-zero when the device has a mounted
// volume worth considering at all.
//
// Where the original device record held a drive letter, this one carries the
// mount point of the device's volume (DESIGN: drives are mount points). Every
// text is UTF-8 and NUL-terminated within its field; a reader never relies on
// the terminator being there and reads at most the field's width.
//
// The root object belongs to the library and stays valid while the library
// is loaded; the program never frees it.
#ifndef LYB_OUTSIDE_USB_DEVICE_H
#define LYB_OUTSIDE_USB_DEVICE_H

#include <cstdint>

/// Width of the mount-point field, terminator included.
constexpr unsigned kUsbMountPointBytes = 4096;
/// Width of the product and manufacturer fields, terminator included.
constexpr unsigned kUsbNameBytes = 128;

class IUSBDevice {
public:
    virtual int VendorId() = 0;        // 0
    virtual int ProductId() = 0;       // 1
    /// The kernel's name of the device ("1-1.2"; "sim0" for simulated ones).
    virtual const char* BusName() = 0; // 2
    virtual int Reserved3() = 0;       // 3
    /// Non-zero: a USB mass-storage device with a mounted volume.
    virtual int IsStorage() = 0;       // 4

    // The fixed part the program reads directly.
    char mountPoint[kUsbMountPointBytes]; ///< root of the device's volume
    char product[kUsbNameBytes];          ///< product string of the device
    char manufacturer[kUsbNameBytes];     ///< manufacturer string of the device

protected:
    ~IUSBDevice() = default;
};

/// Asked about each device before it is reported: non-zero keeps it.
typedef int (*UsbDeviceFilterProc)(std::uint32_t vendorId, std::uint32_t productId);
/// Called once per device during EnumDevices; the result is not used.
typedef int (*UsbDeviceEnumProc)(IUSBDevice* device, std::uintptr_t context);

class IUSBRoot {
public:
    /// The interface revision of this library (1).
    virtual int Version() = 0;                                                   // 0
    /// How many devices the last EnumDevices reported.
    virtual int LastCount() = 0;                                                 // 1
    /// Which backend answers: 0 the machine's sysfs, 1 the simulated file.
    virtual int Backend() = 0;                                                   // 2
    virtual int Reserved3() = 0;                                                 // 3
    /// Sets the filter asked about every device (the first word is unused, 0).
    virtual int SetDeviceFilter(std::uintptr_t zero, UsbDeviceFilterProc filter) = 0; // 4
    virtual int Reserved5() = 0;                                                 // 5
    /// Reports every connected device to `proc` before returning.
    virtual int EnumDevices(UsbDeviceEnumProc proc, std::uintptr_t context) = 0; // 6

protected:
    ~IUSBRoot() = default;
};

/// The environment variable naming the simulated devices' file. Each line:
///   manufacturer | product | card folder
/// ('#' starts a comment line; blanks around fields are dropped; a relative
/// card folder is taken from the file's own folder). A device whose card
/// folder does not exist is not connected. The file is read at every
/// enumeration, so editing it (or removing a folder) plugs and unplugs.
constexpr const char* kSimUsbEnvironment = "LYB30_SIM_USB";

#endif
