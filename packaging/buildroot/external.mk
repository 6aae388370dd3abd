include $(sort $(wildcard $(BR2_EXTERNAL_HOSTQ_PATH)/package/*/*.mk))
