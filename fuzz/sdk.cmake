# Fuzz targets of the protocol library's advertisement readers.
zelto_fuzz_target(sdk_adv_parse sdk_adv_parse.cpp zelto_sdk)
zelto_fuzz_target(sdk_adv_parse_record sdk_adv_parse_record.cpp zelto_sdk)
zelto_fuzz_target(sdk_adv_split_fields sdk_adv_split_fields.cpp zelto_sdk)
zelto_fuzz_target(sdk_adv_mfg_data sdk_adv_mfg_data.cpp zelto_sdk)
zelto_fuzz_target(sdk_adv_local_name sdk_adv_local_name.cpp zelto_sdk)
