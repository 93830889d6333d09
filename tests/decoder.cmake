pondwatch_add_test(test_decoder SOURCES DecoderTest.cpp TIMEOUT 120)
