# fish completion for quorvel-cli: commands, their options, folders, --only's types and the
# numbers of the games find-game lists.

set -l commands list run purge delete-tmp purge-days set-game-dir find-game undo history check info help

function __quorvel_cli_found
    quorvel-cli find-game 2>/dev/null | awk -F '\t' '{print NR "\t" $1}'
end

complete -c quorvel-cli -f
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -l help -d 'Show help'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a list -d 'Print the cached packages'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a run -d 'Move the selected packages'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a purge -d 'Delete every cached package'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a delete-tmp -d 'Delete the *.tmp files'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a purge-days -d 'Set the purge interval'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a set-game-dir -d 'Store the game folder'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a find-game -d 'Look for the game'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a undo -d 'Undo the last run'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a history -d 'List the runs and purges'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a check -d 'Name missing packages'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a info -d 'Say what a package is'
complete -c quorvel-cli -n "not __fish_seen_subcommand_from $commands" -a help -d 'Show help'

complete -c quorvel-cli -n "__fish_seen_subcommand_from list run" -l all -d 'Select every package'
complete -c quorvel-cli -n "__fish_seen_subcommand_from list run" -l only -x -a 'u uax umx unr utx' -d 'Select only these types'
complete -c quorvel-cli -n "__fish_seen_subcommand_from list run" -l cache -x -a '(__fish_complete_directories)' -d 'The cache folder'
complete -c quorvel-cli -n "__fish_seen_subcommand_from list find-game info" -l json -d 'One JSON document'
complete -c quorvel-cli -n "__fish_seen_subcommand_from list" -l facts -d "Maps' title, author and players"
complete -c quorvel-cli -n "__fish_seen_subcommand_from info" -l picture -r -F -d 'Write the picture as PNG'
complete -c quorvel-cli -n "__fish_seen_subcommand_from info" -l cache -x -a '(__fish_complete_directories)' -d 'The cache folder'
complete -c quorvel-cli -n "__fish_seen_subcommand_from info" -F
complete -c quorvel-cli -n "__fish_seen_subcommand_from run" -l to-types -d "Into the game's type folders"
complete -c quorvel-cli -n "__fish_seen_subcommand_from run" -l to-folder -x -a '(__fish_complete_directories)' -d 'Into one folder'
complete -c quorvel-cli -n "__fish_seen_subcommand_from run" -l to-tree -x -a '(__fish_complete_directories)' -d 'Into a folder tree'
complete -c quorvel-cli -n "__fish_seen_subcommand_from check" -l restore -d 'Put lost index lines back'
complete -c quorvel-cli -n "__fish_seen_subcommand_from check" -l cache -x -a '(__fish_complete_directories)' -d 'The cache folder'
complete -c quorvel-cli -n "__fish_seen_subcommand_from undo" -l run -x -d 'The run to undo, as history lists it'
complete -c quorvel-cli -n "__fish_seen_subcommand_from run purge delete-tmp undo" -s n -l dry-run -d 'Print what would happen, change nothing'
complete -c quorvel-cli -n "__fish_seen_subcommand_from purge" -s y -l yes -d 'Answer Yes'
complete -c quorvel-cli -n "__fish_seen_subcommand_from run purge undo" -l even-if-game-runs -d 'Go on while the game runs'
complete -c quorvel-cli -n "__fish_seen_subcommand_from set-game-dir" -l found -x -a '(__quorvel_cli_found)' -d 'The N-th game find-game lists'
complete -c quorvel-cli -n "__fish_seen_subcommand_from set-game-dir" -x -a '(__fish_complete_directories)'
complete -c quorvel-cli -n "__fish_seen_subcommand_from $commands" -s h -l help -d 'Show help'
