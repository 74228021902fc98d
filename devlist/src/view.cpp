#include "devlist/view.h"

namespace devlist {
namespace {
DeviceListView installedView;
}  // namespace

void InstallDeviceListView(DeviceListView view) { installedView = view; }

DeviceListView& InstalledDeviceListView() { return installedView; }

}  // namespace devlist
