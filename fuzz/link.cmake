# Fuzz targets of the vehicle link: what a vehicle notifies, and what an
# advertisement carries as manufacturer data.
zelto_fuzz_target(link_notification link_notification.cpp zelto_link zelto_ble)
zelto_fuzz_target(link_discovery link_discovery.cpp zelto_link zelto_ble)
# The registry as a state machine under any sequence of radio events and calls.
zelto_fuzz_target(link_registry link_registry.cpp zelto_link zelto_ble)
