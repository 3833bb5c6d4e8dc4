quarn_test_suite(siblings/config_store
  LIBRARIES quarn_config_store quarn_communicate quarn_fake_client
  DEPENDS QuarnAssConfigMgr QuarnAssLog)
