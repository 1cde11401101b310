# Warnings are errors for every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion
                    -Wimplicit-fallthrough -Werror)
