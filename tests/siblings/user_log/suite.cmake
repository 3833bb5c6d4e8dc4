quarn_test_suite(siblings/user_log
  LIBRARIES quarn_user_log quarn_fake_client
  DEPENDS QuarnAssLog)
