# The Snakemake workflow on three generated videos, on this machine and through a one-node Slurm
# cluster started by the test; and the Debian package, built, installed, run and removed. They
# run the programs as users do, so only in the build without sanitizers. Exit 77 = skipped.
if(PONDWATCH_SANITIZER STREQUAL "")
    foreach(mode local slurm)
        add_test(NAME workflow_${mode}
            COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/workflow/run-workflow.sh ${mode}
                $<TARGET_FILE:pondwatch-cli> ${PROJECT_SOURCE_DIR}
                ${CMAKE_CURRENT_BINARY_DIR}/scratch/workflow_${mode})
        set_tests_properties(workflow_${mode} PROPERTIES
            LABELS workflow SKIP_RETURN_CODE 77 TIMEOUT 900)
    endforeach()
    # The Slurm run polls job states every few seconds; alone it keeps the two cores free.
    set_tests_properties(workflow_slurm PROPERTIES RUN_SERIAL ON)

    add_test(NAME package_deb
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/install-deb.sh ${PROJECT_BINARY_DIR}
            ${CMAKE_CURRENT_BINARY_DIR}/scratch/package_deb ${PROJECT_VERSION})
    set_tests_properties(package_deb PROPERTIES LABELS package SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
