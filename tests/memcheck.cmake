# pondwatch-cli track and export under valgrind memcheck, on short clips of sizes and pixel
# formats that once made the scaler write past its buffers: odd widths, widths 2 and 4 mod 16,
# a Tracking Area one scan row high, full-range, 4:4:4, grey and 10-bit pictures, filter sizes
# 1 to 9, and the H.264 (MP4) export. Uses this build's pondwatch-cli (RelWithDebInfo, -O2, in
# ./test.sh); not in a sanitizer build, whose binaries valgrind cannot run.
find_program(POND_VALGRIND valgrind)
find_program(POND_FFMPEG ffmpeg)
if(PONDWATCH_SANITIZER STREQUAL "" AND POND_VALGRIND AND POND_FFMPEG)
    # NAME CODEC PIXFMT WIDTH HEIGHT CONTAINER FILTERS [AREA [EXPORT FORMAT]]
    set(POND_MEMCHECK_CLIPS
        "h264-524x338 libx264 yuv420p 524 338 mp4 3"
        "h264-522x338 libx264 yuv420p 522 338 mp4 5"
        "h264-642x480 libx264 yuv420p 642 480 mp4 1,9"
        "h264-130x98-444 libx264 yuv444p 130 98 mp4 2,4"
        "h264-100x76-10bit libx264 yuv420p10le 100 76 mp4 6"
        "mpeg4-318x240 mpeg4 yuv420p 318 240 avi 7"
        "mjpeg-250x170 mjpeg yuvj420p 250 170 avi 8"
        "ffv1-99x75-gray ffv1 gray 99 75 mkv 1,3"
        "ffv1-131x97-444 ffv1 yuv444p 131 97 mkv 9"
        "ffv1-136x96-row ffv1 yuv420p 136 96 mkv 1 0,40,135,41"
        "ffv1-130x96-mp4-export ffv1 yuv444p 130 96 mkv 3 0,0,129,95 mp4"
    )
    foreach(clip IN LISTS POND_MEMCHECK_CLIPS)
        separate_arguments(args UNIX_COMMAND "${clip}")
        list(GET args 0 name)
        add_test(NAME memcheck_${name}
            COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/memcheck/cli-memcheck.sh
                $<TARGET_FILE:pondwatch-cli> ${CMAKE_CURRENT_BINARY_DIR}/scratch/memcheck ${args})
        set_tests_properties(memcheck_${name} PROPERTIES LABELS memcheck TIMEOUT 600
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
        # The same on the plain row kernels (the test above runs the fastest this processor has).
        add_test(NAME memcheck_plain_kernels_${name}
            COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/memcheck/cli-memcheck.sh
                $<TARGET_FILE:pondwatch-cli> ${CMAKE_CURRENT_BINARY_DIR}/scratch/memcheck-plain ${args})
        set_tests_properties(memcheck_plain_kernels_${name} PROPERTIES LABELS memcheck TIMEOUT 600
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PONDWATCH_KERNELS=plain")
    endforeach()
endif()
